#include "ui/web_browser.h"

#include <exdisp.h>
#include <exdispid.h>
#include <oleauto.h>

#include <cwchar>

#include "app/open_as_user.h"

namespace ui {

// The control's events: the first navigation (the one navigate() starts)
// goes through, every later one and every new window is cancelled; the
// addresses of those that a person would follow to the web or to mail go
// to the external opener.
class BrowserEvents final : public IDispatch {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID id, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(id, IID_IUnknown) && !IsEqualIID(id, IID_IDispatch) && !IsEqualIID(id, DIID_DWebBrowserEvents2))
            return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return references_.add(); }
    STDMETHODIMP_(ULONG) Release() override { return references_.release(this); }

    // IDispatch: only Invoke is ever called for events.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        if (parameters == nullptr) return S_OK;
        // Arguments arrive last first.
        VARIANTARG* arguments = parameters->rgvarg;
        const UINT count = parameters->cArgs;
        switch (id) {
        case DISPID_BEFORENAVIGATE2:  // (window, URL, flags, frame, post data, headers, cancel)
            if (count == 7) {
                if (expected_navigations_ > 0) {
                    --expected_navigations_;
                    return S_OK;
                }
                refuse(arguments[0], text_of(arguments[5]));
            }
            return S_OK;
        case DISPID_NEWWINDOW3:  // (window, cancel, flags, referrer, URL)
            if (count == 5) refuse(arguments[3], text_of(arguments[0]));
            return S_OK;
        case DISPID_NEWWINDOW2:  // (window, cancel)
            if (count == 2) refuse(arguments[0], nullptr);
            return S_OK;
        default:
            return S_OK;
        }
    }

    void expect_navigation() noexcept { ++expected_navigations_; }
    ExternalOpener opener = &app::open_as_signed_in_user;

private:
    friend class support::ComCount;
    ~BrowserEvents() = default;

    static const wchar_t* text_of(const VARIANTARG& argument) {
        const VARIANT* value = &argument;
        if ((value->vt & VT_BYREF) != 0 && value->vt == (VT_BYREF | VT_VARIANT)) value = value->pvarVal;
        if (value == nullptr) return nullptr;
        if (value->vt == VT_BSTR) return value->bstrVal;
        if (value->vt == (VT_BYREF | VT_BSTR) && value->pbstrVal != nullptr) return *value->pbstrVal;
        return nullptr;
    }

    static bool is_outside_link(const wchar_t* address) {
        return address != nullptr && (_wcsnicmp(address, L"http://", 7) == 0 ||
                                      _wcsnicmp(address, L"https://", 8) == 0 ||
                                      _wcsnicmp(address, L"mailto:", 7) == 0);
    }

    void refuse(VARIANTARG& cancel, const wchar_t* address) {
        if (cancel.vt == (VT_BYREF | VT_BOOL) && cancel.pboolVal != nullptr) *cancel.pboolVal = VARIANT_TRUE;
        if (is_outside_link(address) && opener != nullptr) opener(address);
    }

    support::ComCount references_;
    int expected_navigations_ = 0;
};

// The container side the control talks to: the client site, the in-place
// site and a frame that has no menus, tools or status line. Everything the
// control may ask beyond its window and its place answers "not here".
class BrowserSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    explicit BrowserSite(HWND host) noexcept : host_(host) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID id, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IOleClientSite))
            *object = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(id, IID_IOleWindow) || IsEqualIID(id, IID_IOleInPlaceSite))
            *object = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(id, IID_IOleInPlaceUIWindow) || IsEqualIID(id, IID_IOleInPlaceFrame))
            *object = static_cast<IOleInPlaceFrame*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return references_.add(); }
    STDMETHODIMP_(ULONG) Release() override { return references_.release(this); }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker != nullptr) *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        if (container != nullptr) *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (both the site's and the frame's)
    STDMETHODIMP GetWindow(HWND* window) override {
        if (window == nullptr) return E_POINTER;
        *window = host_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (frame != nullptr) {
            *frame = this;
            AddRef();
        }
        if (document != nullptr) *document = nullptr;
        if (position != nullptr) GetClientRect(host_, position);
        if (clip != nullptr) GetClientRect(host_, clip);
        if (info != nullptr) {
            info->fMDIApp = FALSE;
            info->hwndFrame = GetAncestor(host_, GA_ROOT);
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

    // IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    friend class support::ComCount;
    ~BrowserSite() = default;

    HWND host_;
    support::ComCount references_;
};

bool CExplorer1::create(HWND host) {
    destroy();
    if (host == nullptr) return false;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.put())))
        return false;
    site_ = new BrowserSite(host);
    RECT place{};
    GetClientRect(host, &place);
    if (FAILED(object_->SetClientSite(site_)) ||
        FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, host, &place))) {
        destroy();
        return false;
    }
    browser_ = object_.query<IWebBrowser2>(IID_IWebBrowser2);
    if (!browser_) {
        destroy();
        return false;
    }
    // Without its events the control would follow any link in here.
    events_ = new BrowserEvents();
    const auto points = object_.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
    support::ComRef<IConnectionPoint> point;
    if (!points || FAILED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, reinterpret_cast<IConnectionPoint**>(point.put()))) ||
        FAILED(point->Advise(events_, &events_cookie_))) {
        destroy();
        return false;
    }
    // Nothing that leaves the page is shown in a window of its own.
    browser_->put_RegisterAsBrowser(VARIANT_FALSE);
    browser_->put_Silent(VARIANT_TRUE);
    return true;
}

void CExplorer1::set_external_opener(ExternalOpener opener) noexcept {
    if (events_ != nullptr) events_->opener = opener;
}

IDispatch* CExplorer1::events() const noexcept { return events_; }

bool CExplorer1::navigate(const wchar_t* address) {
    if (!browser_ || address == nullptr) return false;
    BSTR url = SysAllocString(address);
    if (url == nullptr) return false;
    if (events_ != nullptr) events_->expect_navigation();
    // Flags, target frame, post data and headers stay empty.
    VARIANT empty;
    VariantInit(&empty);
    const HRESULT result = browser_->Navigate(url, &empty, &empty, &empty, &empty);
    SysFreeString(url);
    return SUCCEEDED(result);
}

void CExplorer1::destroy() noexcept {
    browser_.reset();
    if (object_ && events_cookie_ != 0) {
        const auto points = object_.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
        support::ComRef<IConnectionPoint> point;
        if (points && SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, reinterpret_cast<IConnectionPoint**>(point.put()))))
            point->Unadvise(events_cookie_);
        events_cookie_ = 0;
    }
    if (events_ != nullptr) {
        events_->Release();
        events_ = nullptr;
    }
    if (object_) {
        if (auto in_place = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject)) in_place->InPlaceDeactivate();
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_.reset();
    }
    if (site_ != nullptr) {
        site_->Release();
        site_ = nullptr;
    }
}

}  // namespace ui
