#pragma once

#include <QObject>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/deep_link.h"
#include "base/event_loop.h"
#include "model/agent_action_plan.h"
#include "platform/input_synthesizer.h"
#include "platform/linux/instance_channel.h"
#include "recording/recording_flow.h"

namespace orvane {
class AgentPlanPerformer;
class ExportController;
}  // namespace orvane

namespace orvane::studio {

class StudioShell;

// How `orvane-studio --open ID` travels to a studio that is already running: beside the links, as
// this prefix and the id.
inline constexpr std::string_view kOpenRecordingArgument = "--open=";

// Performs the deep links the studio receives: a recording through the same controller the menu
// uses, an agent's recording with its export, an import. Links that arrive before the home window
// is shown wait in the DeepLink's pending state until ready() is called. A main-loop object.
class DeepLinkRunner : public QObject {
    Q_OBJECT
public:
    // Answered to a link while a recording runs.
    static constexpr const char* kAlreadyRecording = "Orvane is already recording.";

    explicit DeepLinkRunner(StudioShell& shell, QObject* parent = nullptr);
    ~DeepLinkRunner() override;

    DeepLink& deepLink() { return *link_; }

    // What another invocation handed over: no arguments raises the home window, each argument is
    // a link (anything else is logged and dropped).
    void route(const InstanceMessage& arguments);
    // The home window is shown: pending requests are performed from now on.
    void ready();

    // Whether an agent's recording or its export is under way.
    bool agentBusy() const { return agent_ != nullptr; }

private:
    struct AgentRun;

    void schedule();
    void performPending();
    void performRecord(const RecordRequest& request);
    void performAgentRecording(const AgentRecordingRequest& request);
    void performImport();
    void agentPhaseChanged();
    void agentRecorded(const RecordingReply& reply);
    void agentExportChanged();
    void finishAgent(std::optional<std::string> failure);
    bool catalogReady() const;

    StudioShell& shell_;
    std::unique_ptr<DeepLink> link_;
    Subscription linkSubscription_;
    bool ready_ = false;
    bool scheduled_ = false;
    std::unique_ptr<AgentRun> agent_;
    std::unique_ptr<SerialQueue> exportQueue_;
    std::unique_ptr<ExportController> exports_;
    Subscription exportSubscription_;
    std::shared_ptr<DeepLinkRunner*> self_ = std::make_shared<DeepLinkRunner*>(this);
};

}  // namespace orvane::studio
