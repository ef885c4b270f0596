#pragma once
// --record: the one writer of the record, shared by a bench's threads. Each
// unit's line is built whole, then written with one call and flushed to
// the disk under the lock, so lines never interleave and a unit's line is
// on the disk before its thread takes the next unit. A line that cannot be
// written is taken back from the file and goes whole to stderr instead, so
// that no unit is lost; no further unit starts after that (StationRounds).

#include "RecordFile.h"
#include "UnitRecord.h"

#include <cstdio>
#include <mutex>
#include <string>

class UnitRecorder {
public:
    // A write that fails is told on err at once, with the line.
    explicit UnitRecorder(std::FILE* err) : m_err(err) {}

    // Before anything goes to a device. False, told on err with the file's
    // name and the system's reason, when it cannot be opened.
    bool Open(const std::string& path);
    void Write(const UnitRecord& record);
    // Why a line could not be written, or "" while every one was.
    std::string Failure() const;

private:
    std::FILE* m_err;
    std::string m_path;
    bool m_bCsv = false;
    AppendFile m_file;
    mutable std::mutex m_mutex;
    std::string m_failure;
};
