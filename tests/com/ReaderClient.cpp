#include "ReaderClient.h"

#include <map>
#include <stdexcept>

#include "VarnokSrv.h"
#include "platform/ComPtr.h"

namespace varnok::test {

namespace {

using Getter = HRESULT (STDMETHODCALLTYPE _FileReader::*)(BSTR*);

const std::vector<std::pair<std::wstring, Getter>>& getters()
{
    static const std::vector<std::pair<std::wstring, Getter>> table = {
        {L"NumerDR", &_FileReader::get_NumerDR},
        {L"RodzajPojazdu", &_FileReader::get_RodzajPojazdu},
        {L"NazwiskoNazwa", &_FileReader::get_NazwiskoNazwa},
        {L"Adres", &_FileReader::get_Adres},
        {L"Przeznaczenie", &_FileReader::get_Przeznaczenie},
        {L"RokProdukcji", &_FileReader::get_RokProdukcji},
        {L"DopuszczalnaLadownosc", &_FileReader::get_DopuszczalnaLadownosc},
        {L"DopuszczalnyNacisk", &_FileReader::get_DopuszczalnyNacisk},
        {L"NumerKarty", &_FileReader::get_NumerKarty},
        {L"NrRejestracyjny", &_FileReader::get_NrRejestracyjny},
        {L"DataIRejestracji", &_FileReader::get_DataIRejestracji},
        {L"Marka", &_FileReader::get_Marka},
        {L"Typ", &_FileReader::get_Typ},
        {L"Model", &_FileReader::get_Model},
        {L"VIN", &_FileReader::get_VIN},
        {L"MaxMasaCalk", &_FileReader::get_MaxMasaCalk},
        {L"DopuszczalnaMasaCalk", &_FileReader::get_DopuszczalnaMasaCalk},
        {L"MasaZesp", &_FileReader::get_MasaZesp},
        {L"MasaWlasna", &_FileReader::get_MasaWlasna},
        {L"DataWydaniaDR", &_FileReader::get_DataWydaniaDR},
        {L"KategoriaPojazdu", &_FileReader::get_KategoriaPojazdu},
        {L"Podrodzaj", &_FileReader::get_Podrodzaj},
        {L"LiczbaOsi", &_FileReader::get_LiczbaOsi},
        {L"MaxMasaPrzyczZH", &_FileReader::get_MaxMasaPrzyczZH},
        {L"MaxMasaPrzyczBH", &_FileReader::get_MaxMasaPrzyczBH},
        {L"PojSilnika", &_FileReader::get_PojSilnika},
        {L"MaksymalnaMocNetto", &_FileReader::get_MaksymalnaMocNetto},
        {L"RodzajPaliwa", &_FileReader::get_RodzajPaliwa},
        {L"LiczbaMiejscSiedz", &_FileReader::get_LiczbaMiejscSiedz},
        {L"LiczbaMiejscStoj", &_FileReader::get_LiczbaMiejscStoj},
        {L"OrganWydajacy", &_FileReader::get_OrganWydajacy},
    };
    return table;
}

Bstr toBstr(const Argument& argument)
{
    return argument ? Bstr(u16View(*argument)) : Bstr();
}

std::wstring lastErrorDescription()
{
    ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, info.put()) != S_OK || !info)
        return {};
    Bstr description;
    info->GetDescription(description.put());
    return std::wstring(wideView(description.view()));
}

Answer answerOf(HRESULT hr, Bstr value)
{
    Answer answer;
    answer.hr = hr;
    answer.isNull = value.get() == nullptr;
    answer.text = std::wstring(wideView(value.view()));
    if (FAILED(hr))
        answer.description = lastErrorDescription();
    return answer;
}

class VtableClient final : public ReaderClient {
public:
    explicit VtableClient(ComPtr<_FileReader> reader) : reader_(std::move(reader)) {}
    const char* name() const override { return "vtable"; }
    bool carriesDescriptions() const override { return false; }

    Answer get(const std::wstring& property) override
    {
        for (const auto& [name, getter] : getters()) {
            if (name == property) {
                Bstr value;
                const HRESULT hr = (reader_.get()->*getter)(value.put());
                return answerOf(hr, std::move(value));
            }
        }
        throw std::invalid_argument("no such property");
    }

    Answer readData(const Argument& path) override
    {
        Bstr value;
        const HRESULT hr = reader_->ReadData(toBstr(path).get(), value.put());
        return answerOf(hr, std::move(value));
    }

    Answer readCodetData(const Argument& payload, const Argument& folder) override
    {
        Bstr value;
        const HRESULT hr = reader_->ReadCodetData(toBstr(payload).get(), toBstr(folder).get(), value.put());
        return answerOf(hr, std::move(value));
    }

    Answer closeData() override { return answerOf(reader_->CloseData(), Bstr()); }

private:
    ComPtr<_FileReader> reader_;
};

class DispatchClient final : public ReaderClient {
public:
    explicit DispatchClient(ComPtr<IDispatch> reader) : reader_(std::move(reader)) {}
    const char* name() const override { return "dispatch"; }
    bool carriesDescriptions() const override { return true; }

    Answer get(const std::wstring& property) override { return invoke(property, DISPATCH_PROPERTYGET, {}); }
    Answer readData(const Argument& path) override { return invoke(L"ReadData", DISPATCH_METHOD, {path}); }
    Answer readCodetData(const Argument& payload, const Argument& folder) override
    {
        return invoke(L"ReadCodetData", DISPATCH_METHOD, {payload, folder});
    }
    Answer closeData() override { return invoke(L"CloseData", DISPATCH_METHOD, {}); }

private:
    Answer invoke(const std::wstring& member, WORD flags, const std::vector<Argument>& arguments)
    {
        std::wstring name = member;
        LPOLESTR names[] = {name.data()};
        DISPID id = DISPID_UNKNOWN;
        Answer answer;
        answer.hr = reader_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(answer.hr))
            return answer;

        // IDispatch takes its arguments last to first.
        std::vector<VARIANT> args(arguments.size());
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            VARIANT& v = args[arguments.size() - 1 - i];
            ::VariantInit(&v);
            v.vt = VT_BSTR;
            v.bstrVal = toBstr(arguments[i]).detach();
        }
        DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        Variant result;
        ExcepInfo exception;
        answer.dispatchHr = reader_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.put(),
                                            exception.get(), nullptr);
        for (VARIANT& v : args)
            ::VariantClear(&v);

        if (answer.dispatchHr == DISP_E_EXCEPTION) {
            answer.hr = exception.scode();
            answer.description = std::wstring(wideView(exception.description()));
            return answer;
        }
        answer.hr = answer.dispatchHr;
        if (SUCCEEDED(answer.hr) && result.value().vt == VT_BSTR) {
            answer.isNull = result.value().bstrVal == nullptr;
            answer.text = std::wstring(wideView(Bstr::viewOf(result.value().bstrVal)));
        }
        return answer;
    }

    ComPtr<IDispatch> reader_;
};

}  // namespace

std::unique_ptr<ReaderClient> createReader(Binding binding)
{
    ComPtr<IUnknown> object;
    const HRESULT hr =
        ::CoCreateInstance(CLSID_FileReader, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.putVoid());
    if (FAILED(hr))
        throw std::runtime_error("cannot create VarnokSrv.FileReader: " + std::to_string(hr));
    if (binding == Binding::Vtable)
        return std::make_unique<VtableClient>(object.query<_FileReader>(IID__FileReader));
    return std::make_unique<DispatchClient>(object.query<IDispatch>(IID_IDispatch));
}

const std::vector<std::wstring>& propertyNames()
{
    static const std::vector<std::wstring> names = [] {
        std::vector<std::wstring> list;
        for (const auto& [name, getter] : getters())
            list.push_back(name);
        return list;
    }();
    return names;
}

Reply readByName(const std::wstring& path)
{
    Reply reply;
    CLSID clsid{};
    ComPtr<IDispatch> reader;
    if (FAILED(reply.hr = CLSIDFromProgID(L"VarnokSrv.ImageReader", &clsid)) ||
        FAILED(reply.hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reader.putVoid())))
        return reply;
    LPOLESTR name = const_cast<LPOLESTR>(L"ReadCodet");
    DISPID id = 0;
    if (FAILED(reply.hr = reader->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)))
        return reply;
    Variant argument{Bstr(u16View(path))};
    DISPPARAMS params{argument.get(), nullptr, 1, 0};
    Variant result;
    ExcepInfo exception;
    reply.hr = reader->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.put(),
                              exception.get(), nullptr);
    if (reply.hr == DISP_E_EXCEPTION) {
        reply.hr = exception.scode();
        reply.description = std::wstring(wideView(exception.description()));
    } else if (SUCCEEDED(reply.hr) && result.value().vt == VT_BSTR) {
        reply.text = std::wstring(wideView(Bstr::viewOf(result.value().bstrVal)));
    }
    return reply;
}

}  // namespace varnok::test
