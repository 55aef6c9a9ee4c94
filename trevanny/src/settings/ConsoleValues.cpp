#include "trevanny/ConsoleValues.h"

#include "winport/RegistryObject.h"

void CConsoleValueStore::Load()
{
    if (m_bLoaded.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bLoaded.load(std::memory_order_relaxed)) return;  // another thread read them meanwhile

    CLocalMachineRegistryObject registry(CString{});
    const CString key(kConsoleValueNames[enConsoleKey].name);
    for (int i = 0; i < m_nReadCount; ++i) {
        const ConsoleValueName& value = kConsoleValueNames[kConsoleValueReadOrder[i]];
        int read = value.defaultValue;
        registry.GetInt(key, CString(value.name), read, value.defaultValue);
        m_nValues[kConsoleValueReadOrder[i]] = read;
    }
    m_bLoaded.store(true, std::memory_order_release);
}

int CConsoleValueStore::Get(int which)
{
    if (which < 0 || which >= enConsoleValueCount) return 0;
    Load();
    return m_nValues[which];
}

BOOL CConsoleValueStore::Save()
{
    Load();
    CLocalMachineRegistryObject registry(CString{});
    const CString key(kConsoleValueNames[enConsoleKey].name);
    BOOL all = TRUE;
    for (int i = 0; i < m_nReadCount; ++i) {
        const enConsoleValue which = kConsoleValueReadOrder[i];
        if (!registry.SetInt(key, CString(kConsoleValueNames[which].name), m_nValues[which])) all = FALSE;
    }
    return all;
}

void CConsoleValueStore::ResetForTesting()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int& v : m_nValues) v = 0;
    m_bLoaded.store(false, std::memory_order_release);
}
