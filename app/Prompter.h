#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

namespace headroom {

// The modal questions the application puts to the user. DialogPrompter shows
// Qt dialogs; tests script the answers.
class Prompter {
public:
    virtual ~Prompter() = default;

    // An informational alert with a single button; returns once dismissed.
    virtual void alert(const QString& message, const QString& informative) = 0;
    // A chooser for exactly one folder: the absolute path of the folder the
    // user chose, or nothing when they cancelled.
    virtual std::optional<QString> chooseFolder() = 0;
    virtual void about(const QString& title, const QString& text) = 0;
    // Raises the alert or chooser that is open now, if one is, and gives it
    // the keyboard.
    virtual void bringForward() = 0;
};

class DialogPrompter final : public Prompter {
public:
    void alert(const QString& message, const QString& informative) override;
    std::optional<QString> chooseFolder() override;
    void about(const QString& title, const QString& text) override;
    void bringForward() override;

private:
    QPointer<QWidget> m_open; // the alert or chooser being shown, while it is
};

} // namespace headroom
