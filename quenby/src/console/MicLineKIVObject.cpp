#include "quenby/MicLineKIVObject.h"

#include "quenby/KivClientKit.h"

namespace {
constexpr int kClientMonitorAttachSize = 224;
}  // namespace

void CMicLineKIVObject::MLAttach()
{
    SendAttachBlock(KivBlock(AttachToMicLine, kKIVBareCommandSize).Take(), /*readNow=*/0);
}

void CClientMonitorKIVObject::CMAttach(CString clientName)
{
    KivBlock block(AttachToClientMonitor, kClientMonitorAttachSize);
    block.PlainName(kNameOffset, kNameField, clientName);
    SendAttachBlock(block.Take(), /*readNow=*/0);
}

void CClientMonitorKIVObject::RequestCompleteShutDown()
{
    SendCommandBlock(KivBlock(RequestCompleteShutdownCommand, kKIVBareCommandSize).Take());
}
