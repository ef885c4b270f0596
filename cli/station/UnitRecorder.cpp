#include "UnitRecorder.h"

namespace {

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

bool UnitRecorder::Open(const std::string& path)
{
    std::string reason;
    if (!m_file.Open(path, reason)) {
        std::fprintf(m_err, "kestrune-update: cannot open the record %s: %s\n", path.c_str(), reason.c_str());
        return false;
    }
    m_path = path;
    m_bCsv = EndsWith(path, ".csv") || EndsWith(path, ".CSV");
    m_bHeaderDue = m_bCsv && m_file.WasEmpty();
    return true;
}

void UnitRecorder::Write(const UnitRecord& record)
{
    std::string line = m_bCsv ? RecordCsvLine(record) : RecordJsonLine(record);
    line += '\n';
    std::lock_guard lock(m_mutex);
    if (m_bHeaderDue)
        line = RecordCsvHeader() + "\n" + line;
    // After a write that broke off, the next line starts on a line of its own.
    if (m_bLineCut)
        line = "\n" + line;
    std::string reason;
    if (m_file.Append(line, reason)) {
        m_bHeaderDue = m_bLineCut = false;
        return;
    }
    m_bLineCut = true;
    m_failure = "writing the record " + m_path + " failed: " + reason;
    std::fprintf(m_err, "kestrune-update: %s; the unit on slot %u (%s, %s) is not in it\n", m_failure.c_str(),
                 record.slot, record.port.c_str(), UnitResultName(record.result));
    std::fflush(m_err);
}

std::string UnitRecorder::Failure() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}
