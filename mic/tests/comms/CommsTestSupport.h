// Helpers of the communications tests: the code of a thrown device error.
#pragma once

#include <functional>
#include <memory>

#include "comms/GenericError.h"

/// Runs `action` and gives the code of the CGenericCommunicationsDeviceError it throws (the
/// object is deleted), or -100 when it throws nothing.
inline int ThrownCode(const std::function<void()>& action)
{
    try {
        action();
    } catch (CGenericCommunicationsDeviceError* error) {
        std::unique_ptr<CGenericCommunicationsDeviceError> owned(error);
        return owned->m_nErrorCode;
    }
    return -100;
}
