// Runs extractLinks over a file, as the page loader does over a page body.
// Prints the number of addresses and download links found or, with --print,
// every address on a line of its own (the count then goes to stderr), the
// same output a grep for the addresses gives.
// Usage: bench_extract_links FILE [--print]
#include "intake/LinkExtraction.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"

#include <fstream>
#include <iostream>
#include <string_view>

int main(int argc, char** argv) {
    const bool print = argc == 3 && std::string_view(argv[2]) == "--print";
    if (argc != 2 && !print) {
        std::cerr << "usage: bench_extract_links FILE [--print]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << argv[1] << '\n';
        return 1;
    }
    in.seekg(0, std::ios::end);
    std::string content(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(content.data(), static_cast<std::streamsize>(content.size()));

    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    const tolvenka::FoundLinks found = tolvenka::extractLinks(std::move(content));
    const std::vector<std::string> downloadLinks = found.downloadLinks();
    std::ostream& summary = print ? std::cerr : std::cout;
    summary << found.count() << " addresses, " << downloadLinks.size() << " download links\n";
    if (print) {
        for (std::size_t index = 0; index < found.count(); ++index) {
            const std::string_view address = found.address(index);
            std::cout.write(address.data(), static_cast<std::streamsize>(address.size()));
            std::cout.put('\n');
        }
    }
    return std::cout ? 0 : 1;
}
