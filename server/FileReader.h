#pragma once
// The FileReader object: the _FileReader dual interface over one ReaderState.

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "fields/FieldTable.h"
#include "loading/ReaderState.h"
#include "DispatchObject.h"
#include "VarnokSrv.h"

namespace varnok {

class FileReader final : public DispatchObject<_FileReader> {
public:
    FileReader();
    ~FileReader() override;

    // _FileReader
    HRESULT STDMETHODCALLTYPE ReadCodetData(BSTR codetString, BSTR localPath, BSTR* status) noexcept override;
    HRESULT STDMETHODCALLTYPE ReadData(BSTR filePath, BSTR* status) noexcept override;
    HRESULT STDMETHODCALLTYPE CloseData() noexcept override;

    HRESULT STDMETHODCALLTYPE get_NumerDR(BSTR* v) noexcept override { return getField(fields::Field::NumerDR, v); }
    HRESULT STDMETHODCALLTYPE get_RodzajPojazdu(BSTR* v) noexcept override { return getField(fields::Field::RodzajPojazdu, v); }
    HRESULT STDMETHODCALLTYPE get_NazwiskoNazwa(BSTR* v) noexcept override { return getField(fields::Field::NazwiskoNazwa, v); }
    HRESULT STDMETHODCALLTYPE get_Adres(BSTR* v) noexcept override { return getField(fields::Field::Adres, v); }
    HRESULT STDMETHODCALLTYPE get_Przeznaczenie(BSTR* v) noexcept override { return getField(fields::Field::Przeznaczenie, v); }
    HRESULT STDMETHODCALLTYPE get_RokProdukcji(BSTR* v) noexcept override { return getField(fields::Field::RokProdukcji, v); }
    HRESULT STDMETHODCALLTYPE get_DopuszczalnaLadownosc(BSTR* v) noexcept override { return getField(fields::Field::DopuszczalnaLadownosc, v); }
    HRESULT STDMETHODCALLTYPE get_DopuszczalnyNacisk(BSTR* v) noexcept override { return getField(fields::Field::DopuszczalnyNacisk, v); }
    HRESULT STDMETHODCALLTYPE get_NumerKarty(BSTR* v) noexcept override { return getField(fields::Field::NumerKarty, v); }
    HRESULT STDMETHODCALLTYPE get_NrRejestracyjny(BSTR* v) noexcept override { return getField(fields::Field::NrRejestracyjny, v); }
    HRESULT STDMETHODCALLTYPE get_DataIRejestracji(BSTR* v) noexcept override { return getField(fields::Field::DataIRejestracji, v); }
    HRESULT STDMETHODCALLTYPE get_Marka(BSTR* v) noexcept override { return getField(fields::Field::Marka, v); }
    HRESULT STDMETHODCALLTYPE get_Typ(BSTR* v) noexcept override { return getField(fields::Field::Typ, v); }
    HRESULT STDMETHODCALLTYPE get_Model(BSTR* v) noexcept override { return getField(fields::Field::Model, v); }
    HRESULT STDMETHODCALLTYPE get_VIN(BSTR* v) noexcept override { return getField(fields::Field::VIN, v); }
    HRESULT STDMETHODCALLTYPE get_MaxMasaCalk(BSTR* v) noexcept override { return getField(fields::Field::MaxMasaCalk, v); }
    HRESULT STDMETHODCALLTYPE get_DopuszczalnaMasaCalk(BSTR* v) noexcept override { return getField(fields::Field::DopuszczalnaMasaCalk, v); }
    HRESULT STDMETHODCALLTYPE get_MasaZesp(BSTR* v) noexcept override { return getField(fields::Field::MasaZesp, v); }
    HRESULT STDMETHODCALLTYPE get_MasaWlasna(BSTR* v) noexcept override { return getField(fields::Field::MasaWlasna, v); }
    HRESULT STDMETHODCALLTYPE get_DataWydaniaDR(BSTR* v) noexcept override { return getField(fields::Field::DataWydaniaDR, v); }
    HRESULT STDMETHODCALLTYPE get_KategoriaPojazdu(BSTR* v) noexcept override { return getField(fields::Field::KategoriaPojazdu, v); }
    HRESULT STDMETHODCALLTYPE get_Podrodzaj(BSTR* v) noexcept override { return getField(fields::Field::Podrodzaj, v); }
    HRESULT STDMETHODCALLTYPE get_LiczbaOsi(BSTR* v) noexcept override { return getField(fields::Field::LiczbaOsi, v); }
    HRESULT STDMETHODCALLTYPE get_MaxMasaPrzyczZH(BSTR* v) noexcept override { return getField(fields::Field::MaxMasaPrzyczZH, v); }
    HRESULT STDMETHODCALLTYPE get_MaxMasaPrzyczBH(BSTR* v) noexcept override { return getField(fields::Field::MaxMasaPrzyczBH, v); }
    HRESULT STDMETHODCALLTYPE get_PojSilnika(BSTR* v) noexcept override { return getField(fields::Field::PojSilnika, v); }
    HRESULT STDMETHODCALLTYPE get_MaksymalnaMocNetto(BSTR* v) noexcept override { return getField(fields::Field::MaksymalnaMocNetto, v); }
    HRESULT STDMETHODCALLTYPE get_RodzajPaliwa(BSTR* v) noexcept override { return getField(fields::Field::RodzajPaliwa, v); }
    HRESULT STDMETHODCALLTYPE get_LiczbaMiejscSiedz(BSTR* v) noexcept override { return getField(fields::Field::LiczbaMiejscSiedz, v); }
    HRESULT STDMETHODCALLTYPE get_LiczbaMiejscStoj(BSTR* v) noexcept override { return getField(fields::Field::LiczbaMiejscStoj, v); }
    HRESULT STDMETHODCALLTYPE get_OrganWydajacy(BSTR* v) noexcept override { return getField(fields::Field::OrganWydajacy, v); }

private:
    HRESULT getField(fields::Field field, BSTR* value) noexcept;

    ReaderState state_;
};

}  // namespace varnok
