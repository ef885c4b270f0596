#include "OwnerPage.h"

#include "FanOutReport.h"
#include "InstructionsText.h"
#include "JsonReport.h"
#include "OwnerPorts.h"
#include "PageState.h"
#include "PageWatcher.h"
#include "PortIdentity.h"
#include "ProgressPlan.h"
#include "SimulatedDevice.h"
#include "StatusReport.h"
#include "UnitUpdate.h"
#include "UpdateMessages.h"
#include "UpdateSession.h"

namespace {

PageReply Refusal(unsigned status, const std::string& message)
{
    return PageReply{status, nlohmann::json{{"error", message}}};
}

std::string Describe(const nlohmann::json& job, const nlohmann::json& port)
{
    const std::string kind = job.value("kind", "");
    const std::string name = port.is_object() ? port.value("path", "") : "";
    if (kind == "update")
        return "the update of the Kestrune on " + name;
    if (kind == "find")
        return "the version query on " + name;
    return "the search for the Kestrune";
}

// What the page shows in the dialog program's own words.
nlohmann::json OwnerTexts()
{
    const std::string success = kSuccessMessage;
    return nlohmann::json{{"heading", KZ_INSTRUCTIONS_HEADING},
                          {"steps", KZ_INSTRUCTIONS_STEPS},
                          {"note", KZ_INSTRUCTIONS_NOTE},
                          {"lastStep", KZ_INSTRUCTIONS_LAST_STEP},
                          {"duration", KZ_INSTRUCTIONS_DURATION},
                          {"success", success.substr(0, success.find('\n'))},
                          {"powerCycle", "Power-cycle the Kestrune and let it restart: it then runs the new firmware."},
                          {"repeat", "Put the Kestrune into bootstrap mode again and repeat the update."}};
}

} // namespace

OwnerPage::OwnerPage(const CliOptions& options, PageState& state, UpdateSession& session, SimulatedDevice* sim)
    : m_options(options), m_state(state), m_session(session), m_pSim(sim), m_prompt(state)
{
    m_state.SetSection("texts", OwnerTexts());
}

OwnerPage::~OwnerPage() { Finish(); }

void OwnerPage::ListPorts()
{
    std::vector<PortInfo> ports = DiscoverPorts();
    nlohmann::json listed = PortsSection(ports, m_pSim ? m_pSim->PortName() : "");
    {
        const std::lock_guard lock(m_mutex);
        m_ports = std::move(ports);
        m_listed = listed;
    }
    m_state.SetSection("ports", std::move(listed));
}

PageReply OwnerPage::Handle(const std::string& method, const std::string& name, const nlohmann::json& body)
{
    const bool post = method == "POST";
    if (name == "ports" && !post) {
        const std::lock_guard lock(m_mutex);
        return PageReply{200, nlohmann::json{{"ports", m_listed}}};
    }
    if (name == "search" && post)
        return Begin(nlohmann::json{{"kind", "search"}}, &OwnerPage::Search);
    if ((name == "find" || name == "update") && post) {
        PageReply refusal;
        const nlohmann::json* port = ChosenPort(body, refusal);
        if (!port)
            return refusal;
        const nlohmann::json job{{"kind", name}, {"port", (*port)["id"]}};
        return Begin(job, name == "find" ? &OwnerPage::Find : &OwnerPage::Update);
    }
    return Refusal(404, "This page has no /api/" + name + " for a " + method + ".");
}

const nlohmann::json* OwnerPage::ChosenPort(const nlohmann::json& body, PageReply& refusal) const
{
    const auto port = body.find("port");
    if (port == body.end() || !port->is_string() || port->get<std::string>().empty()) {
        refusal = Refusal(400, "The request names no port: send {\"port\": \"...\"} as the page lists it.");
        return nullptr;
    }
    const std::string id = port->get<std::string>();
    const std::lock_guard lock(m_mutex);
    for (const nlohmann::json& listed : m_listed)
        if (listed["id"] == id)
            return &listed;
    refusal = Refusal(400, "'" + id +
                               "' is not a port this page lists; only the ports listed here (press "
                               "\"Search again\") may be asked or updated.");
    return nullptr;
}

PageReply OwnerPage::Begin(const nlohmann::json& job, void (OwnerPage::*work)(const nlohmann::json&))
{
    const std::lock_guard lock(m_mutex);
    if (!m_busy.empty())
        return Refusal(409, "Wait: " + m_busy + " is under way.");
    nlohmann::json port;
    for (const nlohmann::json& listed : m_listed)
        if (job.contains("port") && listed["id"] == job["port"])
            port = listed;
    m_busy = Describe(job, port);
    if (m_worker.joinable())
        m_worker.join(); // it has ended: m_busy was empty
    m_state.SetSection("job", job);
    m_worker = std::thread([this, job, work] {
        (this->*work)(job);
        m_state.SetSection("job", nullptr);
        const std::lock_guard done(m_mutex);
        m_busy.clear();
    });
    return PageReply{202, nlohmann::json{{"started", m_busy}}};
}

void OwnerPage::Finish()
{
    m_prompt.Close();
    std::thread worker;
    {
        const std::lock_guard lock(m_mutex);
        worker.swap(m_worker);
    }
    if (worker.joinable())
        worker.join();
}

UnitOutcome OwnerPage::LastOutcome() const
{
    const std::lock_guard lock(m_mutex);
    return m_lastOutcome;
}

std::string OwnerPage::PathOf(const std::string& id) const
{
    if (id == kSimulatedPortId && m_pSim)
        return m_pSim->PortName();
    return id;
}

// The ports afresh; each USB adapter no other program holds, and the
// simulated Kestrune, get the version query, as --port auto does. A
// built-in port is asked only when the person picks it.
void OwnerPage::Search(const nlohmann::json&)
{
    ListPorts();
    std::vector<PortInfo> ports;
    {
        const std::lock_guard lock(m_mutex);
        ports = m_ports;
    }
    nlohmann::json probes = nlohmann::json::object();
    if (m_pSim)
        probes[kSimulatedPortId] = AskVersion(m_pSim->PortName(), m_session.Trace());
    for (const PortProbe& probe : ProbeUsbPorts(ports))
        probes[probe.port.path] = ProbeAnswer(probe);
    {
        const std::lock_guard lock(m_mutex);
        m_probes = probes;
    }
    m_state.SetSection("probes", std::move(probes));
}

void OwnerPage::Find(const nlohmann::json& job)
{
    const std::string id = job["port"];
    nlohmann::json answer = AskVersion(PathOf(id), m_session.Trace());
    nlohmann::json probes;
    {
        const std::lock_guard lock(m_mutex);
        m_probes[id] = std::move(answer);
        probes = m_probes;
    }
    m_state.SetSection("probes", std::move(probes));
}

void OwnerPage::Update(const nlohmann::json& job)
{
    const std::string id = job["port"];
    CliOptions options = m_options;
    options.action = CliAction::Update;
    UpdateTarget target{PathOf(id), PortOptions{}, id};
    if (id == kSimulatedPortId && m_pSim) {
        target = UpdateTarget{m_pSim->PortName(), PortOptions{m_options.bPaced}, m_pSim->Name(), m_pSim};
    } else {
        const std::lock_guard lock(m_mutex);
        if (const PortInfo* port = FindPort(id, m_ports))
            target.shownAs = PortWithUsbName(*port, m_ports);
    }
    const ProgressPlan plan = ProgressPlan::ForCarriedImages();
    m_state.ResetSlot(1);
    m_state.NameSlot(1, target.shownAs, target.pSim ? "simulated Kestrune (no real device)" : "",
                     target.pSim != nullptr);
    m_state.SetSection("updatePort", id);
    PageWatcher watcher(&m_state, 1);
    StatusReport status(plan, watcher);
    JsonLineSink sink(stdout, stderr);
    const auto json = m_options.bJson ? MakeJsonReport(sink, plan) : nullptr;
    FanOutReport report{json.get(), &status};
    // The page's "Update" was the go-ahead: the unit asks none of its own.
    const UnitPlace place{1, m_session.Recorder(), stderr, true, &m_prompt};
    const UnitOutcome outcome = UnitUpdate(options, target, report, m_session.Trace(), place).Run();
    const std::lock_guard lock(m_mutex);
    m_lastOutcome = outcome;
    if (const auto& after = status.Status().versionAfter) {
        m_probes[id] = nlohmann::json{{"outcome", "answered"}, {"version", *after}};
        m_state.SetSection("probes", m_probes);
    }
}
