#pragma once
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace kv {

// The few services of the desktop the window uses, each behind an interface that tests replace.

// Switches the machine off (the shutdown countdown after a burn).
class IPowerOff {
public:
    virtual ~IPowerOff() = default;
    // True when the request was accepted.
    virtual bool PowerOff() = 0;
};
// logind's PowerOff on the system bus; with KELVADORE_FAKE_POWEROFF=FILE it only writes FILE.
std::unique_ptr<IPowerOff> MakePowerOff();

// Starts the program again after a restart was requested.
class IProcessLauncher {
public:
    virtual ~IProcessLauncher() = default;
    virtual bool StartDetached(const QString& program, const QStringList& arguments) = 0;
};
std::unique_ptr<IProcessLauncher> MakeProcessLauncher();

// Opens an http or https address in the user's browser.
class IUrlOpener {
public:
    virtual ~IUrlOpener() = default;
    virtual bool Open(const QUrl& url) = 0;
};

}  // namespace kv
