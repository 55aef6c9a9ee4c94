// The I/O configuration file: a compound file with, at its root, "Version" (int32 0, 1 or 2;
// missing means 0), "Input", "Output", "SRC In" and "SRC Out" (records back to back: 40, 48 or
// 52 bytes by version) and "Input Delay Units" and "Output Delay Units" (int32 each).
//
// Load fills the four maps from a file; Save writes them (version 2). Load: 0 when the file
// cannot be opened as a compound file (the maps are then empty); an unknown version, or a
// version stream shorter than 4 bytes, throws CFileException (generic cause) with the maps
// empty; a trailing part of a record is ignored. Only a stream the file does not hold is a
// missing one: a stream that is there but cannot be read whole (a damaged chain, a short read,
// a size beyond the file) throws CFileException (the storage result in m_lOsError) with the
// maps empty and the version and delay units as they were. Save throws CFileException when the file
// cannot be written, and replaces an existing file's content only when everything was written.
#pragma once

#include "quenby/IOConfigKIVObject.h"
#include "winport/Storage.h"

class CIOConfigFile {
public:
    static constexpr int kCurrentVersion = 2;

    CIOConfigFile() = default;

    int Load(const CString& fileName);
    void Save(const CString& fileName);

    IOPortMap& GetPorts(int bInput) { return bInput ? m_mapInputs : m_mapOutputs; }
    IOConverterMap& GetConverters(int bInput) { return bInput ? m_mapInputSRC : m_mapOutputSRC; }
    const IOPortMap& GetPorts(int bInput) const { return bInput ? m_mapInputs : m_mapOutputs; }
    const IOConverterMap& GetConverters(int bInput) const { return bInput ? m_mapInputSRC : m_mapOutputSRC; }
    int GetVersion() const { return m_nVersion; }
    int GetInputDelayUnits() const { return m_nInputDelayUnits; }
    int GetOutputDelayUnits() const { return m_nOutputDelayUnits; }
    void SetInputDelayUnits(int units) { m_nInputDelayUnits = units; }
    void SetOutputDelayUnits(int units) { m_nOutputDelayUnits = units; }

private:
    void LoadStreams(IStorage* storage, const CString& fileName);
    void ClearMaps();

    IOPortMap m_mapInputs, m_mapOutputs;
    IOConverterMap m_mapInputSRC, m_mapOutputSRC;
    int m_nVersion = 0;
    int m_nInputDelayUnits = 0;
    int m_nOutputDelayUnits = 0;
};
