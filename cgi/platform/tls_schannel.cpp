// TLS sessions with Windows' own SChannel through SSPI; see tls.h. The
// socket stays non-blocking, as socket_win32.cpp leaves it, so that every
// wait is the socket layer's select() with the caller's bound.
//
// The server's certificate is always checked here, after the handshake
// (SCH_CRED_MANUAL_CRED_VALIDATION): SChannel's own check differs between
// Windows versions and wine skips it, and a site's tls_ca_file needs a
// chain engine of its own anyway. The reasons given for a refusal are the
// words the OpenSSL build logs, so that a site's log reads the same on
// either system.
//
// TLS 1.2 only: TLS 1.3 through SChannel needs the newer SCH_CREDENTIALS
// and post-handshake messages that the systems this is tested on lack.
#define SECURITY_WIN32
#include <winsock2.h>
// winsock2.h first: it must come before windows.h.
#include <windows.h>
// windows.h first: the security headers need its types.
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/tls.h"
#include "platform/windows_message.h"

namespace quillo::platform {

class TlsSession {
 public:
  SocketHandle socket = kNoSocket;
  CredHandle credentials{};
  bool has_credentials = false;
  CtxtHandle context{};
  bool has_context = false;
  SecPkgContext_StreamSizes sizes{};
  std::string received;   // bytes off the socket not yet decrypted
  std::string decrypted;  // plain bytes not yet handed over
  bool peer_closed = false;
};

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

// A TLS record: a 5-byte header whose last two bytes give the length of
// what follows (RFC 5246 6.2).
constexpr std::size_t kRecordHeader = 5;
constexpr std::size_t kReadChunk = 16 * 1024 + 512;
// More handshake bytes than this, none of them consumed, is no server.
constexpr std::size_t kMaxHandshakeBuffered = 4 * 65536;

std::uint32_t MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : left > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(left);
}

Clock::time_point After(std::uint32_t timeout_ms) {
  return Clock::now() + std::chrono::milliseconds(timeout_ms);
}

// The system's words for a security status, else its number.
std::string StatusText(SECURITY_STATUS status) {
  const std::string text = WindowsMessage(static_cast<unsigned long>(status));
  if (!text.empty()) return text;
  char number[16];
  std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(status));
  return std::string("error ") + number;
}

NetStatus Failure(const char* what, SECURITY_STATUS status) {
  return {NetError::kTls, std::string(what) + ": " + StatusText(status)};
}

NetStatus Refused(const std::string& reason) {
  return {NetError::kCertificate, "certificate not accepted: " + reason};
}

bool WholeRecordBuffered(const std::string& bytes) {
  if (bytes.size() < kRecordHeader) return false;
  const std::size_t length =
      (static_cast<unsigned char>(bytes[3]) << 8) | static_cast<unsigned char>(bytes[4]);
  return bytes.size() >= kRecordHeader + length;
}

// More bytes from the socket onto received, waiting until the deadline.
NetStatus ReadMore(TlsSession& session, Clock::time_point deadline) {
  const std::uint32_t left = MillisecondsLeft(deadline);
  if (left == 0) return {NetError::kTimeout, "timed out"};
  NetStatus status = WaitReadable(session.socket, left);
  if (status.ok()) status = Receive(session.socket, session.received, kReadChunk);
  return status;
}

// What SSPI allocated for an output token, sent and freed.
NetStatus SendToken(TlsSession& session, SecBuffer& token, Clock::time_point deadline) {
  if (token.pvBuffer == nullptr) return {};
  NetStatus sent;
  if (token.cbBuffer > 0)
    sent = SendAll(session.socket, std::string_view(static_cast<const char*>(token.pvBuffer), token.cbBuffer),
                   MillisecondsLeft(deadline));
  FreeContextBuffer(token.pvBuffer);
  token.pvBuffer = nullptr;
  return sent;
}

// Keeps only the bytes an SSPI call left unread (its SECBUFFER_EXTRA).
void KeepExtra(std::string& bytes, const SecBuffer& extra) {
  if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer <= bytes.size())
    bytes.erase(0, bytes.size() - extra.cbBuffer);
  else
    bytes.clear();
}

NetStatus AcquireCredentials(TlsSession& session) {
  SCHANNEL_CRED credentials{};
  credentials.dwVersion = SCHANNEL_CRED_VERSION;
  credentials.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  TimeStamp expiry{};
  const SECURITY_STATUS status =
      AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr,
                                &credentials, nullptr, nullptr, &session.credentials, &expiry);
  if (status != SEC_E_OK) return Failure("cannot set up TLS", status);
  session.has_credentials = true;
  return {};
}

// The client's side of the handshake: InitializeSecurityContext until it
// says done, sending what it writes and feeding it what the server sends.
// Bytes after the last handshake record stay in received.
NetStatus Handshake(TlsSession& session, const std::string& server_name, Clock::time_point deadline) {
  bool went_on_without_certificate = false;
  while (true) {
    SecBuffer input[2] = {
        {static_cast<ULONG>(session.received.size()), SECBUFFER_TOKEN, session.received.data()},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc input_description{SECBUFFER_VERSION, 2, input};
    SecBuffer output{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc output_description{SECBUFFER_VERSION, 1, &output};
    ULONG attributes = 0;
    const bool first = !session.has_context;
    const SECURITY_STATUS status = InitializeSecurityContextA(
        &session.credentials, first ? nullptr : &session.context, const_cast<char*>(server_name.c_str()),
        kContextFlags, 0, 0, first ? nullptr : &input_description, 0, first ? &session.context : nullptr,
        &output_description, &attributes, nullptr);
    if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) session.has_context = true;
    NetStatus sent = SendToken(session, output, deadline);
    if (!sent.ok()) return sent;
    switch (status) {
      case SEC_E_OK:
        KeepExtra(session.received, input[1]);
        return {};
      case SEC_I_CONTINUE_NEEDED:
        KeepExtra(session.received, input[1]);
        if (!session.received.empty()) continue;
        break;
      case SEC_E_INCOMPLETE_MESSAGE:
        if (session.received.size() > kMaxHandshakeBuffered)
          return {NetError::kTls, "TLS handshake failed: the server's handshake does not end"};
        break;
      case SEC_I_INCOMPLETE_CREDENTIALS:
        // The server asked for a client certificate: go on without one,
        // once; SSPI asking again would otherwise loop here.
        if (went_on_without_certificate) return Failure("TLS handshake failed", status);
        went_on_without_certificate = true;
        continue;
      default:
        return Failure("TLS handshake failed", status);
    }
    NetStatus more = ReadMore(session, deadline);
    if (!more.ok()) return more;
  }
}

// An in-memory store of the certificates in a PEM file.
class CertificateStore {
 public:
  CertificateStore() : handle_(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr)) {}
  ~CertificateStore() {
    if (handle_ != nullptr) CertCloseStore(handle_, 0);
  }
  CertificateStore(const CertificateStore&) = delete;
  CertificateStore& operator=(const CertificateStore&) = delete;
  HCERTSTORE get() const { return handle_; }

  // The number of certificates added from the PEM text.
  int AddPem(const std::string& pem) {
    static constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
    static constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
    int added = 0;
    for (std::size_t begin = pem.find(kBegin); begin != std::string::npos;
         begin = pem.find(kBegin, begin + 1)) {
      const std::size_t end = pem.find(kEnd, begin);
      if (end == std::string::npos) break;
      const std::string block = pem.substr(begin, end + kEnd.size() - begin);
      DWORD size = 0;
      if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                                nullptr, &size, nullptr, nullptr))
        continue;
      std::string der(size, '\0');
      if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                               reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr) &&
          CertAddEncodedCertificateToStore(handle_, X509_ASN_ENCODING,
                                           reinterpret_cast<const BYTE*>(der.data()), size,
                                           CERT_STORE_ADD_ALWAYS, nullptr)) {
        ++added;
      }
    }
    return added;
  }

 private:
  HCERTSTORE handle_;
};

// A chain engine that trusts only the roots of one store: tls_ca_file's
// meaning, as the OpenSSL build gives it (that file, not the system's).
class ChainEngine {
 public:
  ChainEngine() = default;
  ~ChainEngine() {
    if (handle_ != nullptr) CertFreeCertificateChainEngine(handle_);
  }
  ChainEngine(const ChainEngine&) = delete;
  ChainEngine& operator=(const ChainEngine&) = delete;
  HCERTCHAINENGINE get() const { return handle_; }

  bool TrustOnly(HCERTSTORE roots) {
    CERT_CHAIN_ENGINE_CONFIG config{};
    config.hExclusiveRoot = roots;
    // The structure as this SDK has it, else as Windows 7 (and wine) have
    // it: without the last field, which stays zero anyway.
    for (const DWORD size : {static_cast<DWORD>(sizeof config),
                             static_cast<DWORD>(offsetof(CERT_CHAIN_ENGINE_CONFIG, dwExclusiveFlags))}) {
      config.cbSize = size;
      if (CertCreateCertificateChainEngine(&config, &handle_)) return true;
    }
    handle_ = nullptr;
    return false;
  }

 private:
  HCERTCHAINENGINE handle_ = nullptr;
};

struct CertificateFree {
  void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
struct ChainFree {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 0, L'\0');
  if (length > 0)
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// Why the chain does not reach a trusted root, in OpenSSL's words; empty
// when it does.
std::string UntrustedReason(const CERT_CHAIN_CONTEXT& chain) {
  const DWORD trust = chain.TrustStatus.dwErrorStatus;
  if ((trust & CERT_TRUST_IS_UNTRUSTED_ROOT) != 0) {
    const bool alone = chain.cChain > 0 && chain.rgpChain[0]->cElement == 1;
    return alone ? "self-signed certificate" : "self-signed certificate in certificate chain";
  }
  if ((trust & CERT_TRUST_IS_PARTIAL_CHAIN) != 0) return "unable to get local issuer certificate";
  return {};
}

// What else is wrong with a chain that reaches a trusted root and names
// the server, in OpenSSL's words; empty when nothing is.
std::string OtherReason(const CERT_CHAIN_CONTEXT& chain, const CERT_CONTEXT& server, DWORD policy_error) {
  const DWORD trust = chain.TrustStatus.dwErrorStatus;
  if ((trust & CERT_TRUST_IS_NOT_TIME_VALID) != 0 || policy_error == static_cast<DWORD>(CERT_E_EXPIRED)) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return CompareFileTime(&now, &server.pCertInfo->NotBefore) < 0 ? "certificate is not yet valid"
                                                                   : "certificate has expired";
  }
  if ((trust & CERT_TRUST_IS_REVOKED) != 0) return "certificate revoked";
  if ((trust & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) != 0) return "unsupported certificate purpose";
  if ((trust & CERT_TRUST_IS_NOT_SIGNATURE_VALID) != 0) return "certificate signature failure";
  if (trust != 0 || policy_error != 0) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08lX",
                  static_cast<unsigned long>(policy_error ? policy_error : trust));
    return std::string("error ") + number;
  }
  return {};
}

// The server's certificate checked as the OpenSSL build checks it: a
// chain to a trusted root (the engine's, else the system's), the server's
// name, the validity period; no revocation lists.
NetStatus VerifyServer(TlsSession& session, const std::string& server_name, HCERTCHAINENGINE engine) {
  PCCERT_CONTEXT presented = nullptr;
  if (QueryContextAttributesA(&session.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &presented) != SEC_E_OK ||
      presented == nullptr)
    return Refused("no certificate");
  const std::unique_ptr<const CERT_CONTEXT, CertificateFree> server(presented);
  LPSTR server_auth[] = {const_cast<char*>(szOID_PKIX_KP_SERVER_AUTH)};
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
  parameters.RequestedUsage.Usage.rgpszUsageIdentifier = server_auth;
  PCCERT_CHAIN_CONTEXT built = nullptr;
  if (!CertGetCertificateChain(engine, server.get(), nullptr, server->hCertStore, &parameters, 0, nullptr,
                               &built))
    return Refused("cannot build the certificate chain: " +
                   StatusText(static_cast<SECURITY_STATUS>(GetLastError())));
  const std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree> chain(built);
  // Wine's policy check passes a chain that reaches no root: the chain's
  // own status is read first.
  if (std::string reason = UntrustedReason(*chain); !reason.empty()) return Refused(reason);

  std::wstring name = Wide(server_name);
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = name.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status))
    return Refused("cannot check the certificate chain: " +
                   StatusText(static_cast<SECURITY_STATUS>(GetLastError())));
  if (status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) return Refused("hostname mismatch");
  if (status.dwError == static_cast<DWORD>(CERT_E_UNTRUSTEDROOT) ||
      status.dwError == static_cast<DWORD>(CERT_E_CHAINING))
    return Refused("unable to get local issuer certificate");
  if (std::string reason = OtherReason(*chain, *server, status.dwError); !reason.empty())
    return Refused(reason);
  return {};
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

// Decrypts every whole record in received onto decrypted.
NetStatus DecryptBuffered(TlsSession& session) {
  // Never a call with less than a whole record: wine reads the record's
  // length without checking that five bytes are there.
  while (!session.peer_closed && WholeRecordBuffered(session.received)) {
    SecBuffer buffers[4] = {
        {static_cast<ULONG>(session.received.size()), SECBUFFER_DATA, session.received.data()},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = DecryptMessage(&session.context, &description, 0, nullptr);
    if (status == SEC_I_CONTEXT_EXPIRED) {  // the server's close_notify
      session.peer_closed = true;
      session.received.clear();
      break;
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE) break;
    if (status == SEC_I_RENEGOTIATE)
      return {NetError::kTls, "TLS read failed: the server asked to renegotiate"};
    if (status != SEC_E_OK) return Failure("TLS read failed", status);
    // The plain text lies inside received (decrypted in place): copied out
    // before the extra bytes replace received.
    std::string extra;
    for (const SecBuffer& buffer : buffers) {
      if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer != nullptr)
        session.decrypted.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
      if (buffer.BufferType == SECBUFFER_EXTRA && buffer.pvBuffer != nullptr)
        extra.assign(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
    }
    session.received = std::move(extra);
  }
  return {};
}

}  // namespace

void TlsSessionDeleter::operator()(TlsSession* session) const {
  if (session == nullptr) return;
  if (session->has_context) DeleteSecurityContext(&session->context);
  if (session->has_credentials) FreeCredentialsHandle(&session->credentials);
  delete session;
}

NetStatus StartTls(SocketHandle socket, const TlsOptions& options, std::uint32_t timeout_ms,
                   TlsSessionPtr& result) {
  CertificateStore roots;
  ChainEngine engine;
  if (options.verify && !options.ca_file.empty()) {
    std::string pem;
    const std::string cannot = "cannot read the CA certificates " + options.ca_file;
    if (!ReadWholeFile(options.ca_file, pem))
      return {NetError::kCertificate, cannot + ": cannot open the file"};
    if (roots.get() == nullptr || roots.AddPem(pem) == 0)
      return {NetError::kCertificate, cannot + ": no certificate in it"};
    if (!engine.TrustOnly(roots.get()))
      return {NetError::kCertificate,
              cannot + ": " + StatusText(static_cast<SECURITY_STATUS>(GetLastError()))};
  }
  TlsSessionPtr session(new TlsSession);
  session->socket = socket;
  NetStatus status = AcquireCredentials(*session);
  if (status.ok()) status = Handshake(*session, options.server_name, After(timeout_ms));
  if (status.ok() && options.verify) status = VerifyServer(*session, options.server_name, engine.get());
  if (status.ok()) {
    const SECURITY_STATUS sized =
        QueryContextAttributesA(&session->context, SECPKG_ATTR_STREAM_SIZES, &session->sizes);
    if (sized != SEC_E_OK) status = Failure("cannot set up TLS", sized);
  }
  if (status.ok()) status = DecryptBuffered(*session);
  if (status.ok()) result = std::move(session);
  return status;
}

NetStatus TlsSendAll(TlsSession& session, std::string_view bytes, std::uint32_t timeout_ms) {
  const Clock::time_point deadline = After(timeout_ms);
  const std::size_t most = session.sizes.cbMaximumMessage > 0 ? session.sizes.cbMaximumMessage : 16384;
  std::string record;
  while (!bytes.empty()) {
    const std::size_t chunk = bytes.size() < most ? bytes.size() : most;
    record.assign(session.sizes.cbHeader, '\0');
    record.append(bytes.data(), chunk);
    record.append(session.sizes.cbTrailer, '\0');
    char* start = record.data();
    SecBuffer buffers[4] = {
        {session.sizes.cbHeader, SECBUFFER_STREAM_HEADER, start},
        {static_cast<ULONG>(chunk), SECBUFFER_DATA, start + session.sizes.cbHeader},
        {session.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, start + session.sizes.cbHeader + chunk},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = EncryptMessage(&session.context, 0, &description, 0);
    if (status != SEC_E_OK) return Failure("TLS write failed", status);
    const std::size_t length = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
    NetStatus sent = SendAll(session.socket, std::string_view(start, length), MillisecondsLeft(deadline));
    if (!sent.ok()) return sent;
    bytes.remove_prefix(chunk);
  }
  return {};
}

NetStatus TlsWaitReadable(TlsSession& session, std::uint32_t timeout_ms) {
  if (!session.decrypted.empty() || session.peer_closed || WholeRecordBuffered(session.received)) return {};
  return WaitReadable(session.socket, timeout_ms);
}

NetStatus TlsReceive(TlsSession& session, std::string& bytes, std::size_t max_bytes) {
  if (session.decrypted.empty() && !session.peer_closed) {
    if (!WholeRecordBuffered(session.received)) {
      NetStatus got = Receive(session.socket, session.received, kReadChunk);
      if (!got.ok()) return got;
    }
    NetStatus opened = DecryptBuffered(session);
    if (!opened.ok()) return opened;
  }
  if (session.decrypted.empty())
    return session.peer_closed ? NetStatus{NetError::kClosed, "the server closed the connection"}
                               : NetStatus{};
  const std::size_t taken = session.decrypted.size() < max_bytes ? session.decrypted.size() : max_bytes;
  bytes.append(session.decrypted, 0, taken);
  session.decrypted.erase(0, taken);
  return {};
}

}  // namespace quillo::platform
