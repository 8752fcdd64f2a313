#pragma once

#include <string>
#include <vector>

#include "base/file_descriptor.h"
#include "support/temp_dir.h"

namespace orvane::testing {

// A private PipeWire graph for one test suite: its own session bus, the PipeWire daemon and
// wireplumber (which links a stream to the node it asks for, as on a desktop), all in a private
// runtime folder. Nothing of the machine's own session is touched.
class PipeWireTestServer {
public:
    PipeWireTestServer();
    PipeWireTestServer(const PipeWireTestServer&) = delete;
    PipeWireTestServer& operator=(const PipeWireTestServer&) = delete;
    ~PipeWireTestServer();

    // Empty when the graph is up; otherwise why it could not be started.
    const std::string& unavailableReason() const { return unavailableReason_; }

    // A new connection to the daemon, as the screen-cast portal hands one out.
    FileDescriptor connect() const;

private:
    int spawn(const std::vector<std::string>& arguments);
    bool answers(const std::string& shellCommand) const;

    TempDir runtime_;
    std::vector<int> pids_;
    std::string unavailableReason_;
};

}  // namespace orvane::testing
