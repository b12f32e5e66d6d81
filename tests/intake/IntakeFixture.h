#pragma once

#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "tools/service-sim/ServiceSim.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace testing_helpers {

// A simulated service with the program's host pointed at it, and the
// registry that knows its links.
class IntakeFixture : public ::testing::Test {
protected:
    IntakeFixture() {
        tolvenka::setServiceHost(sim.host());
        maker = std::make_unique<tolvenka::DownloadMaker>();
    }
    ~IntakeFixture() override {
        maker.reset();
        tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    }

    // A file of the service; `missing` makes its link page say it is gone.
    std::string fileLink(const std::string& id, bool missing = false) {
        servicesim::FileSpec spec;
        spec.id = id;
        spec.name = "file" + id + ".zip";
        if (missing) {
            spec.script = {servicesim::Step::notFound()};
        }
        return sim.addFile(spec);
    }

    std::string pageUrl(const std::string& path) const { return "http://" + sim.host() + path; }

    servicesim::ServiceSim sim;
    std::unique_ptr<tolvenka::DownloadMaker> maker;
};

} // namespace testing_helpers
