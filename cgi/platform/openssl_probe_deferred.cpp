// OpenSSL's x86-64 assembly calls the library's processor probe from the
// .init section, before main, in every run of the static program: a dozen
// CPUID instructions, each a trap of several microseconds under a
// hypervisor, about a tenth of a short run that makes no TLS connection and
// no signature. The program is linked with --wrap=OPENSSL_cpuid_setup, so
// that call lands here and does nothing; the library's own start
// (OPENSSL_init_crypto, which the TLS and crypto back ends call before their
// first use) calls the probe again, and from then on it is passed through.
//
// .init runs before every constructor of .init_array, so a constructor of
// the first priority marks the end of that early call.

extern "C" void __real_OPENSSL_cpuid_setup();

namespace {

bool g_probe_may_run = false;

__attribute__((constructor(101))) void AllowTheProbe() { g_probe_may_run = true; }

}  // namespace

extern "C" void __wrap_OPENSSL_cpuid_setup() {
  if (g_probe_may_run) __real_OPENSSL_cpuid_setup();
}
