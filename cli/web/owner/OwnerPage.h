#pragma once
// The device owner's page: the ports, finding the Kestrune (the version
// query only), and the update of the port the person chose, after the
// Instructions' "Update". One piece of work at a time runs on a thread of
// its own (an update, a search, a version query); the server's thread only
// starts it, and a request that would start a second is refused with the
// work under way named.

#include "CliOptions.h"
#include "PagePrompt.h"
#include "PageServer.h"
#include "PortList.h"
#include "UnitStatus.h"

#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PageState;
class SimulatedDevice;
class UpdateSession;

class OwnerPage : public PageRoutes {
public:
    // sim: the simulated Kestrune the page offers (Linux), or null.
    OwnerPage(const CliOptions& options, PageState& state, UpdateSession& session, SimulatedDevice* sim);
    ~OwnerPage() override;
    OwnerPage(const OwnerPage&) = delete;
    OwnerPage& operator=(const OwnerPage&) = delete;

    // GET ports, POST search, POST find {"port"}, POST update {"port"}.
    PageReply Handle(const std::string& method, const std::string& name, const nlohmann::json& body) override;
    // The ports present, listed without sending anything.
    void ListPorts();
    // Waits until the work under way has ended (after a signal, at its next exchange).
    void Finish();
    // How the last update ended; Running when none ran.
    UnitOutcome LastOutcome() const;

private:
    // The port the body names, among those listed; a 400's reply otherwise.
    const nlohmann::json* ChosenPort(const nlohmann::json& body, PageReply& refusal) const;
    // Starts work on the worker thread unless some is under way (409).
    PageReply Begin(const nlohmann::json& job, void (OwnerPage::*work)(const nlohmann::json&));
    void Search(const nlohmann::json& job);
    void Find(const nlohmann::json& job);
    void Update(const nlohmann::json& job);
    std::string PathOf(const std::string& id) const;

    const CliOptions& m_options;
    PageState& m_state;
    UpdateSession& m_session;
    SimulatedDevice* m_pSim;
    PagePrompt m_prompt;        // the power cycle of a real Kestrune, asked on the page
    mutable std::mutex m_mutex; // guards what follows
    std::vector<PortInfo> m_ports;
    nlohmann::json m_listed = nlohmann::json::array();
    nlohmann::json m_probes = nlohmann::json::object();
    std::string m_busy; // the work under way, for a person; empty when none
    UnitOutcome m_lastOutcome = UnitOutcome::Running;
    std::thread m_worker;
};
