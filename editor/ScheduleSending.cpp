#include "editor/ScheduleSending.h"

#include "editor/Modules.h"

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/Recovery.h"
#include "cp290/Verification.h"
#include "editor/ApplicationPreferences.h"
#include "editor/Dialogs.h"
#include "editor/DocumentHost.h"
#include "editor/DocumentUndo.h"
#include "editor/EventEditor.h"
#include "editor/ModulesOutlineModel.h"
#include "schedule/HelperCopy.h"
#include "schedule/ModulesDocument.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

namespace vantrel {

void ScheduleSending::sendEventsToCP290()
{
    m_window.commitEditing();
    const AskingWindowScope asking(&m_window);
    DocumentHost* host = documentHost();
    if (!host || !host->serialDeviceIsWritable())
        return;
    bool hadEvents = false;
    if (!prepareDownload(m_window.m_document.modules, m_window.m_document.eventRepeat, &hadEvents))
        return; // too many events or a damaged module: already told
    if (hadEvents) {
        host->statusStartWithMessage(Modules::tr("Sending events to CP290..."));
        gProgressBudget = CP290ProgressTotal;
        const bool check = applicationPreferences().boolValue(CheckAfterSendKey).value_or(false);
        const DownloadReport report = finishDownload(rememberedBaseHouseCode(), check, [host] {
            host->statusStartWithMessage(Modules::tr("Checking the events in the CP290..."));
        });
        host->statusEnd();
        if (!report.sent) {
            dialogs().alert(&m_window, Modules::tr("Sending events failed."), QString());
            return;
        }
        tellHowTheSendWent(report);
    } else {
        dialogs().alert(&m_window, Modules::tr("There are no events to send."), QString());
    }
    std::string error;
    if (!storeHelperCopy(applicationPreferences(), m_window.m_document.modules,
                         m_window.m_document.eventRepeat, &error))
        dialogs().alert(
            &m_window,
            hadEvents
                ? Modules::tr("The schedule was sent, but the helper's copy could not be stored.")
                : Modules::tr("The helper's copy of the schedule could not be stored."),
            QString::fromStdString(error));
    m_window.scheduleCountUpdate();
}

void ScheduleSending::tellHowTheSendWent(const DownloadReport& report)
{
    if (report.reprogrammed)
        dialogs().alert(
            &m_window, Modules::tr("The CP290 had lost its memory."),
            Modules::tr("It had forgotten its clock, its events and its base house code, as "
                        "it does in a power cut when its battery is flat.  Its base house "
                        "code was set again and the schedule was sent again."));
    if (!report.checkAsked)
        return;
    if (!report.differences)
        dialogs().alert(&m_window, Modules::tr("The events were sent, but could not be read back."),
                        Modules::tr("Whether the CP290 holds them was not checked."));
    else if (!report.verified())
        dialogs().alert(&m_window, Modules::tr("The CP290 does not hold what was sent."),
                        // A wrapped line reads better as a list item than indented.
                        QString::fromStdString(verificationText(*report.differences, report.count))
                            .replace(QStringLiteral("\n  "), QStringLiteral("\n\u2022 ")));
    else
        m_window.statusBar()->showMessage(Modules::tr("Sent and verified"),
                                          SentMessageMilliseconds);
}

void ScheduleSending::performEvents()
{
    QDialog sheet(&m_window);
    sheet.setObjectName("performEventsSheet");
    sheet.setWindowTitle(Modules::tr("Repeat Counts"));
    // Wide enough that the window manager need not shorten the title.
    const int titleWidth = QFontMetrics(QApplication::font())
                               .horizontalAdvance(sheet.windowTitle() + QStringLiteral(" — Vantrel"));
    sheet.setMinimumWidth(std::max(440, titleWidth + 200));
    sheet.setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(&sheet);
    auto* note =
        new QLabel(Modules::tr("X10 commands can be missed on noisy wiring. Each switching command "
                               "of a download can be sent more than once; repeats take CP290 "
                               "events of their own."),
                   &sheet);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    auto makePopup = [&sheet](const char* name, int count) {
        auto* popup = new QComboBox(&sheet);
        popup->setObjectName(name);
        for (int times = 1; times <= 5; ++times)
            popup->addItem(times == 1 ? Modules::tr("once") : Modules::tr("%1 times").arg(times));
        popup->setCurrentIndex(std::clamp(count - 1, 0, popup->count() - 1));
        return popup;
    };
    QComboBox* on = makePopup("eventRepeatOnPopup", m_window.m_document.eventRepeat.OnRepeat);
    QComboBox* off = makePopup("eventRepeatOffPopup", m_window.m_document.eventRepeat.OffRepeat);
    form->addRow(Modules::tr("Send each On command:"), on);
    form->addRow(Modules::tr("Send each Off command:"), off);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &sheet);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("performEventsOK");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("performEventsCancel");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &sheet, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &sheet, &QDialog::reject);
    layout->addWidget(buttons);
    if (sheet.exec() != QDialog::Accepted)
        return;
    const ClassicEventRepeat chosen{static_cast<std::uint8_t>(on->currentIndex() + 1),
                                    static_cast<std::uint8_t>(off->currentIndex() + 1)};
    if (chosen == m_window.m_document.eventRepeat)
        return;
    const UndoStep step(m_window, Modules::tr("Repeat Counts"));
    m_window.m_document.eventRepeat = chosen;
    m_window.updateChangeCount();
}

void ScheduleSending::onOff(int function)
{
    const AskingWindowScope asking(&m_window);
    DocumentHost* host = documentHost();
    if (!host || !host->serialDeviceIsWritable())
        return;
    const std::vector<int> rows = m_window.selectedRows(); // last row first
    host->statusStartWithMessage(function == CP290FunctionOn ? Modules::tr("Switching on...")
                                               : Modules::tr("Switching off..."));
    gProgressBudget = double{CP290ProgressTotal} / std::max<std::size_t>(1, rows.size());
    for (int row : rows) {
        const Module& module =
            m_window.m_document
                .modules[static_cast<std::size_t>(m_window.moduleIndexForOutlineRow(row))];
        std::uint8_t levelFunction = function == CP290FunctionOn ? CP290FunctionOn : CP290FunctionOff;
        if (function == CP290FunctionOn && module.type == LightType)
            levelFunction = brightnessByte(m_window.selectedBrightnessSlider->value());
        CP290DoOnOffDim(static_cast<int>(module.houseCode), static_cast<int>(module.unit),
                        levelFunction);
    }
    host->statusEnd();
}

void ScheduleSending::moduleChanged()
{
    if (m_window.m_currentModuleIndex < 0)
        return;
    const auto index = static_cast<std::size_t>(m_window.m_currentModuleIndex);
    // A module whose type does not suit its unit (as another program may have
    // written it) is shown as the unit calls for but left as it is: selecting
    // a row changes nothing in the document. Editing its unit or type corrects it.
    Module module = m_window.m_document.modules[index];
    module.type = typeForUnit(module);
    const DirectSwitching direct = directSwitchingForModule(module);
    m_window.onButton->setEnabled(direct.on);
    if (!direct.off)
        m_window.offButton->setEnabled(false);
    m_window.selectedBrightnessSlider->setEnabled(direct.brightness);
    m_window.selectedBrightnessLabel->setEnabled(direct.brightness);
    m_window.m_eventEditor->moduleChanged(module);
}

} // namespace vantrel
