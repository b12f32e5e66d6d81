#pragma once

#include <string>

namespace http_testing {

// A certificate authority and server certificates made with openssl for
// the tests of one process, in a folder removed when the process ends. The
// first use points SSL_CERT_FILE at the authority, so that the program's
// TLS trusts it as it would a system's store; call it before any thread
// runs.
struct TestCertificates {
    std::string authorityFile;
    // For 127.0.0.1 and localhost.
    std::string serverCertificate;
    std::string serverKey;
    // For other.test only.
    std::string otherHostCertificate;
    std::string otherHostKey;
    // For 127.0.0.1, signed by an authority nobody trusts.
    std::string strangerCertificate;
    std::string strangerKey;

    static const TestCertificates& trusted();
};

} // namespace http_testing
