// Certificate pins on the command line: the tool's --pin option, and the pin subcommand, which
// shows an endpoint's certificate for a person to check before pinning its key
// (docs/security.md).
//
// Contract.
//   - AddPinOption adds --pin sha256:BASE64 to app: repeatable, each value checked and kept in its
//     one form (Tesmora::CanonicalPin) in settings.pins. It excludes --insecure and --inventory,
//     which app must already have.
//   - AddPinCommand adds `pin --host HOST[:PORT] [--port N]`. Run reads the endpoint's
//     certificate (a TLS handshake; nothing is sent over it, no credential is asked for) and
//     prints CertificateText to standard output: status 0. When no certificate can be read it
//     says why on standard error: status 3. Bad input throws UsageError.
//   - CertificateText is pure: one "name: value" line each for the endpoint, the pin, subject,
//     issuer, validity and whether the system's trust store (with --ca-file) vouches for it.
// Texts from the endpoint reach a terminal only through VisibleControls (Terminal.h).
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "Remote.h"
#include "tesmora/PeerCertificate.h"

namespace Quendal::Tool {

void AddPinOption(CLI::App& app, RemoteSettings& settings);

class PinCommand {
public:
    virtual ~PinCommand() = default;
    virtual bool Parsed() const = 0;
    virtual int Run(const RemoteSettings& settings) = 0;
};

std::unique_ptr<PinCommand> AddPinCommand(CLI::App* app);

std::string CertificateText(const std::string& endpoint,
                            const Tesmora::EndpointCertificate& certificate);

}  // namespace Quendal::Tool
