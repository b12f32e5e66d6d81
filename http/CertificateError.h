#pragma once

#include "http/HttpError.h"

#include <string>

namespace http {

// The server's certificate could not be verified; trying again will not
// mend it. `verifyResult` is the verifier's number for the problem and
// `detail` its own text, both for a developer.
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
        Revoked,
        // The signature does not match the certificate.
        BadSignature,
        // Issued for another use than a server's.
        WrongPurpose,
        // A key or signature digest too weak to be trusted.
        TooWeak,
        // Signed by a certificate that may not sign others, or by a chain
        // longer than it allows.
        NotAnAuthority,
        // The trusted authority is not trusted for servers.
        Untrusted,
        // Anything else the verifier refused.
        Other,
    };

    CertificateError(Problem problem, long verifyResult, const std::string& detail)
        : HttpError(Kind::Certificate, "certificate not verified: " + detail)
        , certificateProblem(problem)
        , verifierResult(verifyResult)
        , verifierText(detail) {}

    Problem problem() const { return certificateProblem; }
    long verifyResult() const { return verifierResult; }
    const std::string& detail() const { return verifierText; }

private:
    Problem certificateProblem;
    long verifierResult;
    std::string verifierText;
};

} // namespace http
