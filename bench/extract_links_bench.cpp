// Runs extractLinks over a file, as the page loader does over a page body,
// and prints the number of addresses and download links found.
// Usage: bench_extract_links FILE
#include "intake/LinkExtraction.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"

#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: bench_extract_links FILE\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << argv[1] << '\n';
        return 1;
    }
    std::ostringstream content;
    content << in.rdbuf();

    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    std::vector<std::string> allLinks;
    std::vector<std::string> downloadLinks;
    tolvenka::extractLinks(std::move(content).str(), allLinks, downloadLinks);
    std::cout << allLinks.size() << " addresses, " << downloadLinks.size() << " download links\n";
    return 0;
}
