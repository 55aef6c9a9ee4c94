// A source of fixed-size event records, handed out block by block to a program that transfers
// them without knowing the event layout. The record size is fixed by the console's path mode
// when the source is built: 12 bytes in mode 0 (256 paths), 16 bytes in modes 1 and 2.
#pragma once

class CAutomationRecordSource {
public:
    /// The record size of a path mode: 12 for mode 0 (and any mode outside 1 and 2), else 16.
    static int RecordSizeForPathMode(int mode) { return mode == 1 || mode == 2 ? 16 : 12; }

    explicit CAutomationRecordSource(int recordSize) : m_nRecordSize(recordSize) {}
    virtual ~CAutomationRecordSource() = default;

    /// Writes the records of events firstIndex to firstIndex + count - 1 back to back into out
    /// and returns how many it wrote. A count below 1 writes nothing and is returned as it is.
    virtual int FetchRecords(int count, int firstIndex, void* out) const = 0;
    /// The number of blocks of blockBytes bytes that the records fill (the last one in part).
    virtual int GetBlockCount(int blockBytes) const = 0;

    int GetRecordSize() const { return m_nRecordSize; }

protected:
    int m_nRecordSize;
};
