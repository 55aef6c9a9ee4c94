// Everything of the core layer in one include, as the system's sources expect of the class
// library's main header.
#pragma once

#include "winport/WinTypes.h"
#include "winport/CString.h"
#include "winport/CObject.h"
#include "winport/CArchive.h"
#include "winport/CFile.h"
#include "winport/Collections.h"
#include "winport/Clock.h"
#include "winport/FastLock.h"
#include "winport/GlobalMemory.h"
#include "winport/Paths.h"
#include "winport/Trace.h"
#include "winport/MessageLoop.h"
#include "winport/Window.h"
#include "winport/Hooks.h"
