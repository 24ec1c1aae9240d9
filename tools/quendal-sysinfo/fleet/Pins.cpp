#include "Pins.h"

#include <iostream>

#include "FleetFile.h"
#include "Password.h"
#include "Terminal.h"

namespace Quendal::Tool {

namespace {

constexpr int kDone = 0;
constexpr int kNotRead = 3;  // as a scan that failed
constexpr std::uint16_t kHttpsPort = 443;

class Command : public PinCommand {
public:
    explicit Command(CLI::App& app) {
        connection_.port = kHttpsPort;
        command_ = app.add_subcommand(
            "pin",
            "Show an endpoint's certificate and the pin of its key, for --pin (a TLS handshake: "
            "nothing is sent, no password asked)");
        command_
            ->add_option("--host", address_,
                         "The endpoint: NAME, IPV4 or [IPV6], each optionally followed by :PORT")
            ->required();
        command_
            ->add_option("--port", connection_.port,
                         "Port of the endpoint, unless --host names one")
            ->check(CLI::Range(1, 65535))
            ->capture_default_str();
    }

    bool Parsed() const override { return command_->parsed(); }

    int Run(const RemoteSettings& settings) override {
        if (!settings.inventory.empty()) {
            throw UsageError(
                "pin: reads the certificate over the network, which --inventory "
                "leaves out");
        }
        ResolveAddress(address_, command_->count("--port") > 0, connection_);
        Tesmora::CertificateQuery query;
        query.host = connection_.host;
        query.port = connection_.port;
        query.ca_file = settings.ca_file;
        query.timeout = settings.timeout;
        const Tesmora::CertificateAnswer answer = Tesmora::ReadEndpointCertificate(query);
        const std::string endpoint = AuthorityOf(connection_.host, connection_.port);
        if (!answer.certificate) {
            ShowText(std::cerr, "quendal-sysinfo: error: " + endpoint + ": " + answer.error +
                                    (answer.hint.empty() ? "" : " (" + answer.hint + ")") + "\n");
            return kNotRead;
        }
        ShowText(std::cout, CertificateText(endpoint, *answer.certificate));
        return kDone;
    }

private:
    CLI::App* command_ = nullptr;
    std::string address_;
    Connection connection_;
};

}  // namespace

void AddPinOption(CLI::App& app, RemoteSettings& settings) {
    app.add_option(
           "--pin", settings.pins,
           "Accept the endpoint when its key is this one, whoever signed its "
           "certificate: sha256:BASE64, as the pin subcommand shows it (repeatable, for a key "
           "about to change); with --ca-file, either is enough")
        ->type_name("PIN")
        ->allow_extra_args(false)
        ->transform(CLI::Validator(
            [](std::string& text) {
                std::string why;
                const auto pin = Tesmora::CanonicalPin(text, &why);
                if (!pin) {
                    return "'" + text + "' is not a pin: " + why;
                }
                text = *pin;
                return std::string();
            },
            "", "pin"))
        ->excludes("--insecure")
        ->excludes("--inventory");
}

std::unique_ptr<PinCommand> AddPinCommand(CLI::App* app) {
    return std::make_unique<Command>(*app);
}

std::string CertificateText(const std::string& endpoint,
                            const Tesmora::EndpointCertificate& certificate) {
    const std::string trusted =
        certificate.distrust.empty()
            ? "yes: a CA the system (or --ca-file) trusts signed it for this host"
            : "no: " + certificate.distrust;
    return "endpoint:     " + endpoint + "\n" +  //
           "pin:          " + certificate.pin + "\n" + "subject:      " + certificate.subject +
           "\n" + "issuer:       " + certificate.issuer + "\n" +
           "valid from:   " + certificate.not_before + "\n" +
           "valid until:  " + certificate.not_after + "\n" + "trusted:      " + trusted + "\n";
}

}  // namespace Quendal::Tool
