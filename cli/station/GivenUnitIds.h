#pragma once
// The units' ids given in one run of a station. A scanner that reads the
// same label again gives a unit an id that is another's: an id whose unit
// is under way in a slot, or was updated or skipped in this run, is refused,
// so that no record line names a unit it was not. A unit that failed may be
// tried again under its id. Shared by a bench's threads.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

class GivenUnitIds {
public:
    // "" once id is the unit's in slot; otherwise why it is refused.
    std::string Claim(const std::string& id, uint32_t slot)
    {
        std::lock_guard lock(m_mutex);
        const auto [given, fresh] = m_given.try_emplace(id, Given{slot, false});
        if (fresh)
            return "";
        const std::string where = given->second.bDone
                                      ? "finished in slot " + std::to_string(given->second.slot) + " in this run"
                                      : "under way in slot " + std::to_string(given->second.slot);
        return "the id " + id + " is another unit's (" + where + ")";
    }
    // The unit that claimed id ended; its id stays taken if it was updated
    // (or found current).
    void Ended(const std::string& id, bool updated)
    {
        std::lock_guard lock(m_mutex);
        if (updated)
            m_given[id].bDone = true;
        else
            m_given.erase(id);
    }

private:
    struct Given {
        uint32_t slot;
        bool bDone;
    };
    std::mutex m_mutex;
    std::map<std::string, Given> m_given;
};
