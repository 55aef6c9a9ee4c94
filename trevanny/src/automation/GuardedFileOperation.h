// File work whose failures are results: a file or memory exception thrown by the operation
// becomes false.
#pragma once

#include "winport/CObject.h"

template <class F>
bool guarded(F&& operation)
{
    try {
        return operation();
    } catch (CFileException* e) {
        e->Delete();
        return false;
    } catch (CMemoryException* e) {
        e->Delete();
        return false;
    }
}
