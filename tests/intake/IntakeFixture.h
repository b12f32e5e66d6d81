#pragma once

#include "tests/service/ServiceFixture.h"

namespace testing_helpers {

// The simulated service of ServiceFixture, with links of files named after
// their ids.
class IntakeFixture : public ServiceFixture {
protected:
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
};

} // namespace testing_helpers
