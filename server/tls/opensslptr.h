#pragma once

#include <memory>
#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace server {

// Frees an OpenSSL object with its own free function, whatever that returns.
template <auto Free> struct OpenSslFree {
    template <typename T> void operator()(T* object) const { Free(object); }
};

// Owners of the OpenSSL objects we hold: each object is freed once, on every path out.
using Asn1IntegerPtr = std::unique_ptr<ASN1_INTEGER, OpenSslFree<ASN1_INTEGER_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, OpenSslFree<BN_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslFree<BIO_free_all>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY_free>>;
using GeneralNamePtr = std::unique_ptr<GENERAL_NAME, OpenSslFree<GENERAL_NAME_free>>;
using GeneralNamesPtr = std::unique_ptr<GENERAL_NAMES, OpenSslFree<GENERAL_NAMES_free>>;
using SslCtxPtr = std::unique_ptr<SSL_CTX, OpenSslFree<SSL_CTX_free>>;
using SslPtr = std::unique_ptr<SSL, OpenSslFree<SSL_free>>;
using X509ExtensionPtr = std::unique_ptr<X509_EXTENSION, OpenSslFree<X509_EXTENSION_free>>;
using X509NamePtr = std::unique_ptr<X509_NAME, OpenSslFree<X509_NAME_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslFree<X509_free>>;

} // namespace server
