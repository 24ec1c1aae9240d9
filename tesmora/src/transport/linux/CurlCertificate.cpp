#include "transport/linux/CurlCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <ctime>
#include <memory>

namespace Tesmora::Net {

namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
    void operator()(X509* cert) const { X509_free(cert); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

std::string NameText(const X509_NAME* name) {
    const Bio bio(BIO_new(BIO_s_mem()));
    // RFC 2253's order (most specific first) and escapes, ", " between the parts, and UTF-8
    // kept as it is: the same text the Windows transport gives.
    const unsigned long flags =
        (XN_FLAG_RFC2253 & ~XN_FLAG_SEP_MASK & ~ASN1_STRFLGS_ESC_MSB) | XN_FLAG_SEP_CPLUS_SPC;
    if (!bio || name == nullptr || X509_NAME_print_ex(bio.get(), name, 0, flags) < 0) {
        return std::string();
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) {
        return std::string();
    }
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

std::optional<PeerCertificate> Describe(const char* pem) {
    const Bio bio(BIO_new_mem_buf(pem, static_cast<int>(std::strlen(pem))));
    const std::unique_ptr<X509, X509Free> cert(
        bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!cert) {
        return std::nullopt;
    }
    unsigned char* key = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &key);
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int digest_length = 0;
    const bool hashed = length > 0 && EVP_Digest(key, static_cast<std::size_t>(length), digest,
                                                 &digest_length, EVP_sha256(), nullptr) == 1;
    OPENSSL_free(key);
    if (!hashed || digest_length != kPinDigestBytes) {
        return std::nullopt;
    }
    PeerCertificate peer;
    peer.pin = PinOfDigest(std::string_view(reinterpret_cast<const char*>(digest), digest_length));
    peer.subject = NameText(X509_get_subject_name(cert.get()));
    peer.issuer = NameText(X509_get_issuer_name(cert.get()));
    peer.not_before = TimeText(X509_get0_notBefore(cert.get()));
    peer.not_after = TimeText(X509_get0_notAfter(cert.get()));
    return peer;
}

}  // namespace

std::optional<PeerCertificate> FirstCertificate(CURL* handle) {
    curl_certinfo* info = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CERTINFO, &info) != CURLE_OK || info == nullptr ||
        info->num_of_certs < 1) {
        return std::nullopt;
    }
    constexpr const char kCert[] = "Cert:";
    for (const curl_slist* item = info->certinfo[0]; item != nullptr; item = item->next) {
        if (std::strncmp(item->data, kCert, sizeof kCert - 1) == 0) {
            return Describe(item->data + sizeof kCert - 1);
        }
    }
    return std::nullopt;
}

}  // namespace Tesmora::Net
