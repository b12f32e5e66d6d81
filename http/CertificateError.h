#pragma once

#include "http/HttpError.h"

#include <string>

namespace http {

// The server's certificate could not be verified; trying again will not
// mend it. `detail` is the verifier's own text, for a developer.
class CertificateError : public HttpError {
public:
    enum class Problem {
        // Issued for another host name or address.
        WrongHost,
        // Signed by nobody the system trusts, or the chain is incomplete.
        UnknownIssuer,
        // Signed by itself and not trusted.
        SelfSigned,
        Expired,
        NotYetValid,
        // Anything else the verifier refused.
        Other,
    };

    CertificateError(Problem problem, const std::string& detail)
        : HttpError(Kind::Certificate, "certificate not verified: " + detail)
        , certificateProblem(problem)
        , verifierText(detail) {}

    Problem problem() const { return certificateProblem; }
    const std::string& detail() const { return verifierText; }

private:
    Problem certificateProblem;
    std::string verifierText;
};

} // namespace http
