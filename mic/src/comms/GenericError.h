// The errors that a communications device throws. A device throws a pointer to a new
// CGenericCommunicationsDeviceError; the catcher reads the code, may ask for its name, and
// deletes the object.
#pragma once

#include "winport/CString.h"
#include "winport/WinTypes.h"

class CGenericError {
public:
    virtual ~CGenericError();
};

class CGenericCommunicationsDeviceError : public CGenericError {
public:
    /// The codes of the link failures; the code is also the index of its name.
    enum {
        NonExistantBootProgramError = 0,
        BootProgramError = 1,
        GenericLinkError = 2,
        IllegalBoardId = 3,
        RegistryAccessError = 4,
        UnimplmentedCommand = 5,
        LinkAlreadyUsed = 6,
        LinkNotOpened = 7,
        UnknownFileSystemError = 8,
        ReadTimeout = 9,
        WriteTimeout = 10,
        HardIOError = 11,
        SocketResetError = 12,
        SocketClosedError = 13,
        LinkReadAborted = 14,
        WrongTagIdent = 15,
        SerialPackingError = 16,
        SerialPackingCheckSumFailed = 17,
        ErrorCodeCount = 18
    };

    explicit CGenericCommunicationsDeviceError(int nErrorCode);
    ~CGenericCommunicationsDeviceError() override;

    /// The name of the code ("GenericLinkError" ...); "Unknown Error" for a code outside the
    /// table.
    virtual CString GetErrorName() const;
    /// The name of any code.
    static const char* NameOfCode(int nErrorCode);

    int m_nErrorCode;
};
