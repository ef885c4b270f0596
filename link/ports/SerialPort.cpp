// What every kind of port shares: its failure record.

#include "SerialPort.h"
#include "SystemMessage.h"

void SerialPort::NoteFailure(PortFailure::Kind kind, int systemError, std::string text)
{
    if (Lost())
        return;
    m_failure.kind = kind;
    m_failure.systemError = systemError;
    m_failure.text = text.empty() && systemError != 0 ? SystemMessage(systemError) : std::move(text);
}
