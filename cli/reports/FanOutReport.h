#pragma once
// Every event to several reports in turn: a bench's unit to its JSON stream
// and to the snapshot its lines and table are drawn from.

#include "UpdateReport.h"

#include <initializer_list>
#include <vector>

class FanOutReport : public UpdateReport {
public:
    FanOutReport(std::initializer_list<UpdateReport*> reports)
    {
        for (UpdateReport* report : reports)
            if (report)
                m_reports.push_back(report);
    }

    void Start(const std::string& port, const std::optional<std::string>& deviceVersion) override
    {
        for (UpdateReport* report : m_reports)
            report->Start(port, deviceVersion);
    }
    void Note(const std::string& text) override
    {
        for (UpdateReport* report : m_reports)
            report->Note(text);
    }
    void PortUnavailable(const std::string& text) override
    {
        for (UpdateReport* report : m_reports)
            report->PortUnavailable(text);
    }
    void Step(const StageProgress& progress) override
    {
        for (UpdateReport* report : m_reports)
            report->Step(progress);
    }
    void Outcome(int failedStage, const char* detail, double seconds) override
    {
        for (UpdateReport* report : m_reports)
            report->Outcome(failedStage, detail, seconds);
    }
    void Cancelled() override
    {
        for (UpdateReport* report : m_reports)
            report->Cancelled();
    }
    void Interrupted(int stage, int signal, const char* detail) override
    {
        for (UpdateReport* report : m_reports)
            report->Interrupted(stage, signal, detail);
    }
    void VersionAfter(const std::optional<std::string>& deviceVersion) override
    {
        for (UpdateReport* report : m_reports)
            report->VersionAfter(deviceVersion);
    }
    void Skipped() override
    {
        for (UpdateReport* report : m_reports)
            report->Skipped();
    }
    void BootstrapHookFailed(const std::string& detail) override
    {
        for (UpdateReport* report : m_reports)
            report->BootstrapHookFailed(detail);
    }
    void UnitId(const std::string& id) override
    {
        for (UpdateReport* report : m_reports)
            report->UnitId(id);
    }
    void UnitIdMissing(const std::string& detail) override
    {
        for (UpdateReport* report : m_reports)
            report->UnitIdMissing(detail);
    }
    void RestartChecked(bool ok, const std::string& detail) override
    {
        for (UpdateReport* report : m_reports)
            report->RestartChecked(ok, detail);
    }
    void Hook(const char* name) override
    {
        for (UpdateReport* report : m_reports)
            report->Hook(name);
    }
    void Ended(UnitOutcome outcome) override
    {
        for (UpdateReport* report : m_reports)
            report->Ended(outcome);
    }

private:
    std::vector<UpdateReport*> m_reports;
};
