#pragma once

#include "platform/FileSystem.h"
#include "service/DownloadMaker.h"
#include "service/RapidshareDownload.h"
#include "service/ServiceHost.h"
#include "tests/common/TestHelpers.h"
#include "tools/service-sim/ServiceSim.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace testing_helpers {

// A simulated service, the program's host pointed at it, a registry, and a
// folder for the files.
class ServiceFixture : public ::testing::Test {
protected:
    using ServiceState = tolvenka::RapidshareDownload::ServiceState;

    ServiceFixture() {
        tolvenka::setServiceHost(sim.host());
        maker = std::make_unique<tolvenka::DownloadMaker>();
    }
    ~ServiceFixture() override {
        maker.reset();
        tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    }

    // A download of a new file of the simulated service, into the folder;
    // its service states are recorded in `states`.
    std::unique_ptr<tolvenka::RapidshareDownload> downloadOf(const servicesim::FileSpec& spec) {
        const std::string link = sim.addFile(spec);
        std::unique_ptr<tolvenka::RapidshareDownload> download(
            static_cast<tolvenka::RapidshareDownload*>(
                maker->createDownload(tolvenka::serviceHost(), link, folder.path()).release()));
        download->onStatusChange = [this](tolvenka::Download* sender) {
            states.push_back(static_cast<tolvenka::RapidshareDownload*>(sender)->getServiceState());
        };
        return download;
    }

    static servicesim::FileSpec fileSpec(std::vector<servicesim::Step> script,
                                         std::uint64_t size = 1000) {
        servicesim::FileSpec spec;
        spec.id = "4711";
        spec.name = "report.zip";
        spec.size = size;
        spec.script = std::move(script);
        return spec;
    }

    std::vector<servicesim::LoggedRequest> requestsOf(const std::string& method) const {
        std::vector<servicesim::LoggedRequest> matching;
        for (auto& request : sim.requests()) {
            if (request.method == method) {
                matching.push_back(request);
            }
        }
        return matching;
    }

    servicesim::ServiceSim sim;
    TempDir folder;
    std::unique_ptr<tolvenka::DownloadMaker> maker;
    std::vector<ServiceState> states; // written on the download's thread; read after it ends
};

} // namespace testing_helpers
