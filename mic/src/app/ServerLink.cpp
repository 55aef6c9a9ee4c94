#include "app/ServerLink.h"

#include "app/ClientMonitorReceptacle.h"
#include "app/MicApp.h"
#include "app/MicLineInterface.h"
#include "base/ConsoleInfo.h"
#include "winport/Paths.h"
#include "winport/Profile.h"
#include "winport/RegistryObject.h"

ServerModeDecision DecideServerMode()
{
    ServerModeDecision d;
    CConsoleInfo info;
    if (!CConsoleInfo::IsK7Series()) return d;
    CCurrentUserRegistryObject registry;
    int value = -1;
    registry.GetInt(kServerModeKey, kServerModeValue, value, -1);
    if (value == -1) value = static_cast<int>(winport::GetProfileInt(kSettingsSection, kServerModeValue, -1));
    if (value != 1) return d;
    DWORD attributes = GetFileAttributesA(kServerProgramFile);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return d;
    d.useWithCantle = 1;
    d.cantlePresent = 1;
    return d;
}

namespace {

// A client object held for the dialog.
template <class T>
class HeldObject : public ServerObject {
public:
    explicit HeldObject(std::unique_ptr<T> object) : m_object(std::move(object)) {}

protected:
    std::unique_ptr<T> m_object;
};

class HeldMicLine : public HeldObject<CMicLineInterface> {
public:
    using HeldObject::HeldObject;
    BOOL TakeMicLineRecord(MicLineRecord& record) override { return m_object->TakeRecord(record); }
};

}  // namespace

std::unique_ptr<ServerObject> KivServerLink::CreateMicLine(HWND owner)
{
    auto micLine = std::make_unique<CMicLineInterface>(owner);
    micLine->MLAttach();
    return std::make_unique<HeldMicLine>(std::move(micLine));
}

std::unique_ptr<ServerObject> KivServerLink::CreateClientMonitor(HWND owner, const char* clientName)
{
    auto monitor = std::make_unique<CClientMonitorReceptacle>(owner);
    monitor->CMAttach(clientName);
    return std::make_unique<HeldObject<CClientMonitorReceptacle>>(std::move(monitor));
}
