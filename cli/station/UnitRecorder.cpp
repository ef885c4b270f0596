#include "UnitRecorder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A CSV record's first line, without its line end; "" for a new or empty
// file. Only a regular file has one: a device such as /dev/full reads
// without end. A header is short, so no more than kHeaderBytes are read.
std::string FirstLine(const std::string& path)
{
    constexpr std::streamsize kHeaderBytes = 4096;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return "";
    std::ifstream file(path, std::ios::binary);
    std::string line(kHeaderBytes, '\0');
    file.read(line.data(), kHeaderBytes);
    line.resize(static_cast<size_t>(file.gcount()));
    line.resize(std::min(line.find('\n'), line.size()));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

bool UnitRecorder::Open(const std::string& path)
{
    m_bCsv = EndsWith(path, ".csv") || EndsWith(path, ".CSV");
    // Rows of other fields under a header would be read wrong: such a file
    // (one from an older version) is left alone.
    if (const std::string header = m_bCsv ? FirstLine(path) : ""; !header.empty() && header != RecordCsvHeader()) {
        std::fprintf(m_err,
                     "kestrune-update: cannot append to the record %s: its header is\n  %s\nbut this version "
                     "writes\n  %s\nRecord into a new file.\n",
                     path.c_str(), header.c_str(), RecordCsvHeader().c_str());
        return false;
    }
    std::string reason;
    if (!m_file.Open(path, reason)) {
        std::fprintf(m_err, "kestrune-update: cannot open the record %s: %s\n", path.c_str(), reason.c_str());
        return false;
    }
    m_path = path;
    return true;
}

void UnitRecorder::Write(const UnitRecord& record)
{
    const std::string line = m_bCsv ? RecordCsvLine(record) : RecordJsonLine(record);
    std::lock_guard lock(m_mutex);
    std::string reason;
    if (m_file.AppendLine(line, m_bCsv ? RecordCsvHeader() : "", reason))
        return;
    m_failure = "writing the record " + m_path + " failed: " + reason;
    // The line itself on a line of its own, to be added to the record by hand.
    std::fprintf(m_err,
                 "kestrune-update: %s; the unit on slot %u (%s, %s) is not in it, and no further unit is started. "
                 "Its line:\n%s\n",
                 m_failure.c_str(), record.slot, record.port.c_str(), UnitResultName(record.result), line.c_str());
    std::fflush(m_err);
}

std::string UnitRecorder::Failure() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}
