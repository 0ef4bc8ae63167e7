#pragma once

// What the controller's tests share: a scripted prompter that records what
// it was asked, and fixed figures the test can change between refreshes.

#include "app/AppDelegate.h"
#include "app/Prompter.h"
#include "l10n/StringTable.h"
#include "core/VMStatSchema.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace headroom::test {

struct PromptLog {
    QStringList events; // "alert", "chooseFolder", "about", in the order asked
    QString alertMessage;
    QString alertInformative;
    QString aboutTitle;
    QString aboutText;
    QStringList folders; // next answers; a null QString or none left = cancel
    std::function<void()> duringAlert;           // looks at the state while the alert is up
};

class ScriptedPrompter final : public Prompter {
public:
    explicit ScriptedPrompter(std::shared_ptr<PromptLog> log) : log_(std::move(log)) {}

    void alert(const QString& message, const QString& informative) override
    {
        log_->events << QStringLiteral("alert");
        log_->alertMessage = message;
        log_->alertInformative = informative;
        if (log_->duringAlert)
            log_->duringAlert();
    }

    std::optional<QString> chooseFolder() override
    {
        log_->events << QStringLiteral("chooseFolder");
        const QString answer = log_->folders.isEmpty() ? QString() : log_->folders.takeFirst();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }

    void about(const QString& title, const QString& text) override
    {
        log_->events << QStringLiteral("about");
        log_->aboutTitle = title;
        log_->aboutText = text;
    }

private:
    std::shared_ptr<PromptLog> log_;
};

struct FixedFigures {
    std::optional<std::int64_t> total = 500107862016;
    std::optional<std::int64_t> free = 250790436864;
    VMStatSchema memory = pages(262144, 262144, 262144, 262144);
    bool tray = false;

    static VMStatSchema pages(std::uint64_t free, std::uint64_t wired, std::uint64_t active, std::uint64_t inactive)
    {
        VMStatSchema sample;
        sample.setPagesFree(free);
        sample.setPagesWiredDown(wired);
        sample.setPagesActive(active);
        sample.setPagesInactive(inactive);
        return sample;
    }
};

inline AppEnvironment environment(std::shared_ptr<const StringTable> strings, std::shared_ptr<PromptLog> log,
                                  const std::shared_ptr<FixedFigures>& figures)
{
    AppEnvironment env;
    env.strings = std::move(strings);
    env.prompter = std::make_unique<ScriptedPrompter>(std::move(log));
    env.figures.diskTotal = [figures] { return figures->total; };
    env.figures.diskAvailable = [figures] { return figures->free; };
    env.figures.vmStat = [figures] { return figures->memory; };
    env.trayAvailable = [figures] { return figures->tray; };
    env.trayPollMs = 20;
    return env;
}

} // namespace headroom::test
