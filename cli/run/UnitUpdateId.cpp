// A unit's id, from the unit-id hook or the person, before anything is sent
// to the unit; refused where it is another unit's.
#include "UnitUpdate.h"

#include "DeviceText.h"
#include "Interrupts.h"

#include <mutex>

namespace {

// An id as given, without the blanks around it, escaped as device text is.
std::string PrintableId(const std::string& given)
{
    const size_t first = given.find_first_not_of(" \t"), last = given.find_last_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return PrintableDeviceText(reinterpret_cast<const uint8_t*>(given.data()) + first, last + 1 - first);
}

} // namespace

// --unit-id-command or --ask-unit-id: the unit's id, escaped as device
// text is, before anything is sent to it. A bench's slots ask the person
// one at a time, and the person again for an id that is another unit's.
UnitOutcome UnitUpdate::TakeUnitId()
{
    std::string id, refused; // refused: why the unit has no id of its own
    if (!m_options.unitIdCommand.empty()) {
        const HookResult ran = RunStationHook("unit-id", m_options.unitIdCommand);
        if (ran.bInterrupted)
            return Interrupted(0, ran.detail);
        id = PrintableId(ran.firstLine);
        // The hook's words are printable already.
        refused = !id.empty() ? ClaimUnitId(id)
                  : ran.bOk   ? "unit-id hook '" + m_options.unitIdCommand + "' wrote no id"
                              : ran.detail;
    } else if (m_options.bAskUnitId && m_place.pIdPrompt) {
        static std::mutex asking;
        const std::lock_guard lock(asking);
        do {
            if (!refused.empty())
                m_place.pIdPrompt->Tell("Not taken: " + refused + ".\n");
            id = PrintableId(m_place.pIdPrompt
                                 ->Ask("Scan or type the id of the unit in slot " + std::to_string(m_place.slot) +
                                           " (" + m_target.shownAs + ") and press Enter: ",
                                       {})
                                 .value_or(""));
            if (InterruptSignal() != 0)
                return Interrupted(0, "");
            refused = id.empty() ? "no id was given for it" : ClaimUnitId(id);
        } while (!id.empty() && !refused.empty());
    } else {
        return UnitOutcome::Running;
    }
    if (!refused.empty()) {
        m_record.detail = refused;
        m_report.UnitIdMissing(m_record.detail);
        return UnitOutcome::Failed;
    }
    m_record.unit = id;
    m_report.UnitId(id);
    m_report.Note("Unit " + id + ".");
    return UnitOutcome::Running;
}

std::string UnitUpdate::ClaimUnitId(const std::string& id)
{
    return m_place.pGivenIds ? m_place.pGivenIds->Claim(id, m_place.slot) : "";
}
