#pragma once
// A unit watched for the page: each change of its snapshot goes to the
// page's state for its slot. StatusReport calls it on the unit's thread;
// PageState takes a brief lock and never waits for the page, so a slow or
// closed browser never slows the update.

#include "PageState.h"
#include "StatusReport.h"

class PageWatcher : public UnitWatcher {
public:
    // page may be null: then there is no page and nothing is fed.
    PageWatcher(PageState* page, uint32_t slot) : m_pPage(page), m_slot(slot) {}
    void Changed(const UnitStatus& status, UnitChange) override
    {
        if (m_pPage)
            m_pPage->UnitChanged(m_slot, status);
    }

private:
    PageState* m_pPage;
    uint32_t m_slot;
};
