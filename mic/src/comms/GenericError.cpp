#include "comms/GenericError.h"

namespace {
// Index = error code. The spellings are the system's own and are shown to operators as they
// stand.
const char* const kErrorNames[CGenericCommunicationsDeviceError::ErrorCodeCount] = {
    "NonExistantBootProgramError",
    "BootProgramError",
    "GenericLinkError",
    "IllegalBoardId",
    "RegistryAccessError",
    "UnimplmentedCommand",
    "LinkAlreadyUsed",
    "LinkNotOpened",
    "UnknownFileSystemError",
    "ReadTimeout",
    "WriteTimeout",
    "HardIOError",
    "SocketResetError",
    "SocketClosedError",
    "LinkReadAborted",
    "WrongTagIdent",
    "SerialPackingError",
    "SerialPackingCheckSumFailed",
};
}  // namespace

CGenericError::~CGenericError() = default;

CGenericCommunicationsDeviceError::CGenericCommunicationsDeviceError(int nErrorCode) : m_nErrorCode(nErrorCode) {}

CGenericCommunicationsDeviceError::~CGenericCommunicationsDeviceError() = default;

CString CGenericCommunicationsDeviceError::GetErrorName() const { return NameOfCode(m_nErrorCode); }

const char* CGenericCommunicationsDeviceError::NameOfCode(int nErrorCode)
{
    if (nErrorCode < 0 || nErrorCode >= ErrorCodeCount) return "Unknown Error";
    return kErrorNames[nErrorCode];
}
