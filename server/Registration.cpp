#include "Registration.h"

#include <oleauto.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "platform/ComError.h"
#include "Identity.h"
#include "ModulePath.h"
#include "ServedClasses.h"
#include "WordSize.h"

namespace varnok {

namespace {

using identity::typeLibMarshalerText;

class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(RegKey&& other) noexcept
    {
        std::swap(key_, other.key_);
        return *this;
    }
    ~RegKey()
    {
        if (key_)
            ::RegCloseKey(key_);
    }
    HKEY get() const { return key_; }
    HKEY* put()
    {
        if (key_)
            ::RegCloseKey(std::exchange(key_, nullptr));
        return &key_;
    }

private:
    HKEY key_ = nullptr;
};

struct ClassesRoot {
    HKEY hive;
    REGSAM view;  // 0 for this process's own view
};

constexpr wchar_t classesPath[] = L"Software\\Classes";

std::wstring join(std::wstring_view a, std::wstring_view b)
{
    std::wstring path(a);
    if (b.empty())
        return path;
    path += L'\\';
    path += b;
    return path;
}

// Creates the key (and its parents) and sets one string value; an empty value name sets the default value.
void setValue(const ClassesRoot& root, const std::wstring& key, const wchar_t* name, std::wstring_view value)
{
    RegKey k;
    checkWin32(::RegCreateKeyExW(root.hive, join(classesPath, key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | root.view, nullptr, k.put(), nullptr));
    const std::wstring data(value);
    checkWin32(::RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))));
}

void createKey(const ClassesRoot& root, const std::wstring& key)
{
    RegKey k;
    checkWin32(::RegCreateKeyExW(root.hive, join(classesPath, key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | root.view, nullptr, k.put(), nullptr));
}

// Removes the key with everything below it; a key that is not there is no failure.
void deleteTree(const ClassesRoot& root, const std::wstring& parent, const std::wstring& key)
{
    RegKey k;
    const LSTATUS opened = ::RegOpenKeyExW(root.hive, join(classesPath, parent).c_str(), 0,
                                           KEY_ALL_ACCESS | root.view, k.put());
    if (opened == ERROR_FILE_NOT_FOUND)
        return;
    checkWin32(opened);
    const LSTATUS deleted = ::RegDeleteTreeW(k.get(), key.c_str());
    if (deleted != ERROR_FILE_NOT_FOUND)
        checkWin32(deleted);
}

// Removes the key if nothing is left in it: a parent that others may share, or that this registration created.
// `parent` is a path below the hive.
void deleteIfEmpty(const ClassesRoot& root, const std::wstring& parent, const std::wstring& key)
{
    RegKey k;
    if (::RegOpenKeyExW(root.hive, join(parent, key).c_str(), 0, KEY_READ | root.view, k.put()) != ERROR_SUCCESS)
        return;
    DWORD subkeys = 0, values = 0;
    if (::RegQueryInfoKeyW(k.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys || values)
        return;
    k = RegKey();
    RegKey parentKey;
    if (::RegOpenKeyExW(root.hive, parent.c_str(), 0, KEY_ALL_ACCESS | root.view, parentKey.put()) ==
        ERROR_SUCCESS)
        ::RegDeleteKeyExW(parentKey.get(), key.c_str(), root.view, 0);
}

bool keyExists(const ClassesRoot& root, const std::wstring& key)
{
    RegKey k;
    return ::RegOpenKeyExW(root.hive, join(classesPath, key).c_str(), 0, KEY_READ | root.view, k.put()) ==
           ERROR_SUCCESS;
}

// The folders under Software\Classes that registration writes into; emptied ones go with the registration.
void pruneEmptyParents(const ClassesRoot& root)
{
    for (const wchar_t* parent : {L"CLSID", L"Interface", L"TypeLib"})
        deleteIfEmpty(root, classesPath, parent);
}

std::wstring clsidKey(const ServedClass& c) { return join(L"CLSID", c.clsidText); }

std::wstring typeLibKey(const ServedClass& c) { return join(join(L"TypeLib", c.libidText), typeLibVersion); }

std::wstring folderOf(const std::wstring& exePath) { return exePath.substr(0, exePath.find_last_of(L'\\')); }

void writeClassKeys(const ClassesRoot& root, const ServedClass& c, const std::wstring& exePath)
{
    const std::wstring clsid = clsidKey(c);
    setValue(root, clsid, nullptr, c.progId);
    setValue(root, join(clsid, L"LocalServer32"), nullptr, L"\"" + exePath + L"\"");
    setValue(root, join(clsid, L"ProgID"), nullptr, c.progId);
    setValue(root, join(clsid, L"TypeLib"), nullptr, c.libidText);
    setValue(root, join(clsid, L"Version"), nullptr, typeLibVersion);
    createKey(root, join(clsid, L"Programmable"));

    setValue(root, c.progId, nullptr, c.progId);
    setValue(root, join(c.progId, L"CLSID"), nullptr, c.clsidText);
}

void removeClassKeys(const ClassesRoot& root, const ServedClass& c)
{
    deleteTree(root, L"CLSID", c.clsidText);
    deleteTree(root, L"", c.progId);
}

// The interface as the type-library marshaler needs it, in one registry view.
void writeInterfaceKeys(const ClassesRoot& root, const ServedClass& c)
{
    const std::wstring iface = join(L"Interface", c.iidText);
    setValue(root, iface, nullptr, c.interfaceName);
    setValue(root, join(iface, L"ProxyStubClsid"), nullptr, typeLibMarshalerText);
    setValue(root, join(iface, L"ProxyStubClsid32"), nullptr, typeLibMarshalerText);
    setValue(root, join(iface, L"TypeLib"), nullptr, c.libidText);
    setValue(root, join(iface, L"TypeLib"), L"Version", typeLibVersion);
}

void removeInterfaceKeys(const ClassesRoot& root, const ServedClass& c)
{
    deleteTree(root, L"Interface", c.iidText);
}

void writeOtherClientsTypeLib(const ClassesRoot& root, const ServedClass& c, const std::wstring& exePath)
{
    if (typeLibForOtherClients)
        setValue(root, join(typeLibKey(c), std::wstring(L"0\\") + otherTypeLibPlatform), nullptr, typeLibPath(exePath, c));
}

void writeTypeLibKeys(const ClassesRoot& root, const ServedClass& c, const std::wstring& exePath)
{
    const std::wstring version = typeLibKey(c);
    setValue(root, version, nullptr, c.typeLibName);
    setValue(root, join(version, std::wstring(L"0\\") + ownTypeLibPlatform), nullptr, typeLibPath(exePath, c));
    writeOtherClientsTypeLib(root, c, exePath);
    setValue(root, join(version, L"FLAGS"), nullptr, L"0");
    setValue(root, join(version, L"HELPDIR"), nullptr, folderOf(exePath));
}

void removeTypeLibKeys(const ClassesRoot& root, const ServedClass& c)
{
    deleteTree(root, join(L"TypeLib", c.libidText), typeLibVersion);
    deleteIfEmpty(root, join(classesPath, L"TypeLib"), c.libidText);
}

// Clients of the other word size marshal through the other registry view, which a process does not write by
// default (in a 64-bit process the default view is the 64-bit one).
const ClassesRoot machine{HKEY_LOCAL_MACHINE, 0};
const ClassesRoot machineOther{HKEY_LOCAL_MACHINE, otherRegistryView};
const ClassesRoot user{HKEY_CURRENT_USER, 0};
const ClassesRoot userOther{HKEY_CURRENT_USER, otherRegistryView};

void registerMachine(const std::wstring& exePath)
{
    for (const ServedClass& c : servedClasses()) {
        writeClassKeys(machine, c, exePath);
        std::wstring path = typeLibPath(exePath, c);
        ComPtr<ITypeLib> library;
        check(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()));
        std::wstring folder = folderOf(exePath);
        check(::RegisterTypeLib(library.get(), path.data(), folder.data()));
        writeOtherClientsTypeLib(machine, c, exePath);
        writeInterfaceKeys(machineOther, c);
    }
}

// Whether anything this registration writes is still in the view.
bool anyKeyLeft(const ClassesRoot& root)
{
    for (const ServedClass& c : servedClasses())
        if (keyExists(root, clsidKey(c)) || keyExists(root, c.progId) ||
            keyExists(root, join(L"Interface", c.iidText)) || keyExists(root, typeLibKey(c)))
            return true;
    return false;
}

// Runs every removal even when an earlier one fails, and remembers the first failure.
class Removals {
public:
    template <typename Step>
    void attempt(Step&& step)
    {
        try {
            step();
        } catch (const Failure& failure) {
            if (!first_)
                first_ = failure.code();
        }
    }
    // Nothing of ours left is success, whatever failed on the way.
    void finish(std::initializer_list<ClassesRoot> roots) const
    {
        for (const ClassesRoot& root : roots)
            if (first_ && anyKeyLeft(root))
                throw Failure(first_, describeCode(first_));
    }

private:
    HRESULT first_ = S_OK;
};

void unregisterMachine()
{
    Removals removals;
    // UnRegisterTypeLib reads the registered library to find its interfaces: with the EXE gone it fails, and the
    // keys are removed below all the same.
    for (const ServedClass& c : servedClasses()) {
        removals.attempt([&] {
            if (keyExists(machine, typeLibKey(c))) {
                std::wstring text(c.libidText);
                GUID libid{};
                check(::CLSIDFromString(text.data(), &libid));
                check(::UnRegisterTypeLib(libid, typeLibMajor, typeLibMinor, 0, ownSysKind));
            }
        });
        for (const ClassesRoot* root : {&machine, &machineOther}) {
            removals.attempt([&] { removeInterfaceKeys(*root, c); });
            removals.attempt([&] { removeTypeLibKeys(*root, c); });
        }
        removals.attempt([&] { removeClassKeys(machine, c); });
    }
    removals.finish({machine, machineOther});
}

// Written by hand rather than with RegisterTypeLibForUser, which some platforms (Wine) carry out machine-wide:
// a per-user registration must never touch, or on removal take away, a machine-wide one.
void registerUser(const std::wstring& exePath)
{
    for (const ServedClass& c : servedClasses()) {
        writeClassKeys(user, c, exePath);
        writeTypeLibKeys(user, c, exePath);
        writeInterfaceKeys(user, c);
        writeInterfaceKeys(userOther, c);
    }
}

void unregisterUser()
{
    Removals removals;
    for (const ServedClass& c : servedClasses()) {
        removals.attempt([&] { removeInterfaceKeys(user, c); });
        removals.attempt([&] { removeInterfaceKeys(userOther, c); });
        removals.attempt([&] { removeTypeLibKeys(user, c); });
        removals.attempt([&] { removeClassKeys(user, c); });
    }
    pruneEmptyParents(user);
    pruneEmptyParents(userOther);
    // Software\Classes itself, where it existed only for this registration (a fresh profile).
    deleteIfEmpty(user, L"Software", L"Classes");
    removals.finish({user, userOther});
}

template <typename Body>
HRESULT runRegistration(Body&& body) noexcept
{
    try {
        body();
        return S_OK;
    } catch (const Failure& failure) {
        return failure.code();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace

HRESULT registerServer(RegistrationScope scope)
{
    return runRegistration([&] {
        const std::wstring exePath = modulePath();
        // A half-written registration is worse than none.
        try {
            scope == RegistrationScope::Machine ? registerMachine(exePath) : registerUser(exePath);
        } catch (...) {
            unregisterServer(scope);
            throw;
        }
    });
}

HRESULT unregisterServer(RegistrationScope scope)
{
    return runRegistration([&] { scope == RegistrationScope::Machine ? unregisterMachine() : unregisterUser(); });
}

}  // namespace varnok
