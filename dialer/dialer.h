/*
 * QKDialer: one broadband dial-up connection of the system phone book, driven through the
 * system dial-up tool. Its settings live in an INI file that the object reads when it is
 * created, when IniFilename is assigned and on Reload, and into which each setter writes its
 * one key at once; between those moments the object works from its own copies.
 */
#pragma once

#include "component/framework/dispatch.h"

#include "ZUVezEradez3.h"

#include <string>
#include <string_view>
#include <vector>

namespace dialer {

class Dialer final : public component::DispatchObject<Dialer, _QKDialer> {
public:
    static constexpr wchar_t kDefaultIniFilename[] = L"REZarArerur.ini";
    static constexpr wchar_t kTempFile[] = L"QKDialer.tmp";
    static constexpr long kDefaultDelay = 100;

    // Settings
    STDMETHODIMP put_IniFilename(BSTR value) override;
    STDMETHODIMP get_IniFilename(BSTR* value) override;
    STDMETHODIMP put_ADSL(BSTR value) override;
    STDMETHODIMP get_ADSL(BSTR* value) override;
    STDMETHODIMP put_Uid(BSTR value) override;
    STDMETHODIMP get_Uid(BSTR* value) override;
    STDMETHODIMP put_Password(BSTR value) override;
    STDMETHODIMP get_Password(BSTR* value) override;
    STDMETHODIMP put_DelayDial(long value) override;
    STDMETHODIMP get_DelayDial(long* value) override;
    STDMETHODIMP put_DelayHangup(long value) override;
    STDMETHODIMP get_DelayHangup(long* value) override;
    STDMETHODIMP Reload() override;

    // Connection operations
    STDMETHODIMP RasDial(BSTR strADSL, BSTR strUid, BSTR strPassword,
                         VARIANT_BOOL* result) override;
    STDMETHODIMP RasHangup(BSTR strADSL, VARIANT_BOOL* result) override;
    STDMETHODIMP IsConnected(BSTR strADSL, VARIANT_BOOL* result) override;
    STDMETHODIMP RasRedial(BSTR strADSL, BSTR strUid, BSTR strPassword,
                           VARIANT_BOOL* result) override;

    // The names of the home-networking connections of a computer, LAN ones or the others. No
    // interface carries it, so hosts and scripts cannot reach it, and no member of the
    // component calls it: only code linked with the dialer does (its tests). A failing query
    // ends the listing with the names gathered so far; only running out of memory throws.
    std::vector<std::wstring> ListHomeConnections(const std::wstring& strComputer, bool bLAN);

private:
    // Sets the capture file and default delays, then assigns the default settings file through
    // the object's own IniFilename, which loads the settings.
    void Initialize() override;

    // Whether the entry is connected, asked through the object's own IsConnected; a failure
    // there is thrown on.
    bool Probe(const std::wstring& entry);

    void LoadSettings();
    void StoreText(std::wstring& field, const wchar_t* setting, const wchar_t* key, BSTR value);
    void StoreDelay(long& field, const wchar_t* key, long value);

    std::wstring iniFilename_;
    std::wstring adsl_;
    std::wstring uid_;
    std::wstring password_;
    long delayDial_ = 0;
    long delayHangup_ = 0;
    std::wstring tempFile_;
};

// The Name of each object that the WMI query returns from the namespace bound by the moniker,
// keeping the objects whose property `flag` equals `wanted` by automation equality, in the order
// returned. Never fails: an error at any step ends the listing with the names gathered so far.
// ListHomeConnections is this query on the home-networking namespace.
std::vector<std::wstring> SelectNames(std::wstring_view moniker, std::wstring_view query,
                                      std::wstring_view flag, bool wanted);

} // namespace dialer
