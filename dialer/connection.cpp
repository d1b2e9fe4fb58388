// Probe, dial, hang-up and redial through the system dial-up tool.
#include "dialer/dialer.h"

namespace dialer {

namespace {

[[noreturn]] void NotAvailable() {
    throw tools::Error(E_NOTIMPL, L"Dialling is not available in this build of the component");
}

} // namespace

STDMETHODIMP Dialer::RasDial(BSTR, BSTR, BSTR, VARIANT_BOOL* result) {
    return Call(result, [&](bool&) { NotAvailable(); });
}

STDMETHODIMP Dialer::RasHangup(BSTR, VARIANT_BOOL* result) {
    return Call(result, [&](bool&) { NotAvailable(); });
}

STDMETHODIMP Dialer::IsConnected(BSTR, VARIANT_BOOL* result) {
    return Call(result, [&](bool&) { NotAvailable(); });
}

STDMETHODIMP Dialer::RasRedial(BSTR, BSTR, BSTR, VARIANT_BOOL* result) {
    return Call(result, [&](bool&) { NotAvailable(); });
}

std::vector<std::wstring> Dialer::ListHomeConnections(const std::wstring&, bool) { return {}; }

} // namespace dialer
