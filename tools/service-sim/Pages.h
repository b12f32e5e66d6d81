#pragma once

// The HTML the service answers with. The texts that the client looks for are
// written here and nowhere else; every other word of the pages is free.

#include "tools/service-sim/Step.h"

#include <string>
#include <vector>

namespace servicesim::pages {

// The link page of a file for this attempt's step (not for ServerError).
std::string linkPage(const Step& step, const std::string& fileName, const std::string& freeFormUrl);

// The reply to "dl.start=Free" for this attempt's step.
std::string freeFormReply(const Step& step, const std::string& finalFormUrl);

// The link page for an id that the service does not know.
std::string unknownFilePage();

// A page that links every file link given, and a few ordinary pages.
std::string listPage(const std::string& origin, const std::vector<std::string>& fileLinks);

std::string aboutPage();
std::string errorPage(int status, const std::string& reason);

} // namespace servicesim::pages
