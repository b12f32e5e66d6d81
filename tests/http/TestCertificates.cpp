#include "tests/http/TestCertificates.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace http_testing {

namespace {

// Elliptic-curve keys: made in a moment, unlike RSA ones.
const char* const script = R"(set -e
cd "$1"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
authority() { # NAME
    key "$1.key"
    openssl req -x509 -new -key "$1.key" -out "$1.pem" -days 3 -subj "/CN=$1 test authority" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}
leaf() { # NAME AUTHORITY SUBJECT_ALT_NAMES
    key "$1.key"
    openssl req -new -key "$1.key" -out "$1.csr" -subj "/CN=$1"
    printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$3" > "$1.ext"
    openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -out "$1.pem" \
        -days 2 -extfile "$1.ext" 2>/dev/null
}
authority trusted
authority stranger
leaf server trusted "IP:127.0.0.1,DNS:localhost"
leaf other trusted "DNS:other.test"
leaf strangers stranger "IP:127.0.0.1,DNS:localhost"
)";

struct Folder {
    std::filesystem::path path;
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

TestCertificates make() {
    static Folder folder;
    std::string pattern = (std::filesystem::temp_directory_path() / "tolvenka-tls-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder for certificates");
    }
    folder.path = pattern;
    const std::string scriptFile = pattern + "/make.sh";
    std::ofstream(scriptFile) << script;
    if (std::system(("sh " + scriptFile + " " + pattern).c_str()) != 0) {
        throw std::runtime_error("openssl could not make the test certificates");
    }
    TestCertificates made;
    made.authorityFile = pattern + "/trusted.pem";
    made.serverCertificate = pattern + "/server.pem";
    made.serverKey = pattern + "/server.key";
    made.otherHostCertificate = pattern + "/other.pem";
    made.otherHostKey = pattern + "/other.key";
    made.strangerCertificate = pattern + "/strangers.pem";
    made.strangerKey = pattern + "/strangers.key";
    ::setenv("SSL_CERT_FILE", made.authorityFile.c_str(), 1);
    return made;
}

} // namespace

const TestCertificates& TestCertificates::trusted() {
    static const TestCertificates certificates = make();
    return certificates;
}

} // namespace http_testing
