#include "quenby/MicLineKIVObject.h"

namespace {
constexpr int kClientMonitorAttachSize = 224;
}  // namespace

void CMicLineKIVObject::MLAttach()
{
    SendAttachBlock(KIVAllocCommandBlock(AttachToMicLine, KIVBareCommandSize), /*readNow=*/0);
}

void CClientMonitorKIVObject::CMAttach(CString clientName)
{
    HGLOBAL block = KIVAllocCommandBlock(AttachToClientMonitor, kClientMonitorAttachSize);
    if (!block) return;
    KIVCopyName(block, NameOffset, NameField, clientName);
    SendAttachBlock(block, /*readNow=*/0);
}

void CClientMonitorKIVObject::RequestCompleteShutDown()
{
    SendCommandBlock(KIVAllocCommandBlock(RequestCompleteShutdownCommand, KIVBareCommandSize));
}
