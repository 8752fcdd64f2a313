#include "studio/settings_window.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cstdlib>
#include <exception>
#include <filesystem>

#include "app/desktop_shortcuts.h"
#include "app/global_hotkey_wiring.h"
#include "app/launch_at_login.h"
#include "app/preferences.h"
#include "base/executor.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "cloud/byo_share_client.h"
#include "cloud/supabase_share_client.h"
#include "model/export_profile.h"
#include "model/recording_cursor_mode.h"
#include "platform/executable_path.h"
#include "platform/global_hotkey_manager.h"
#include "platform/secret_store.h"

namespace orvane::studio {

namespace {

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

QCheckBox* checkBox(const QString& text, bool on, std::function<void(bool)> store, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setAccessibleName(text);
    box->setChecked(on);
    QObject::connect(box, &QCheckBox::toggled, parent, std::move(store));
    return box;
}

// A text preference written when editing finishes (Enter or leaving the field), not per keystroke.
QLineEdit* textField(const QString& name, const std::string& value, std::function<void(std::string)> store,
                     QWidget* parent) {
    auto* field = new QLineEdit(QString::fromStdString(value), parent);
    field->setAccessibleName(name);
    QObject::connect(field, &QLineEdit::editingFinished, parent,
                     [field, store = std::move(store)] { store(field->text().toStdString()); });
    return field;
}

// A choice among raw values; `labels` pairs each raw value with what the user reads.
QComboBox* choice(const QString& name, const std::vector<std::pair<std::string, QString>>& labels,
                  const std::string& current, std::function<void(std::string)> store, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setAccessibleName(name);
    for (const auto& [raw, label] : labels) box->addItem(label, QString::fromStdString(raw));
    const int index = box->findData(QString::fromStdString(current));
    box->setCurrentIndex(index >= 0 ? index : 0);
    QObject::connect(box, &QComboBox::activated, parent,
                     [box, store = std::move(store)](int i) { store(box->itemData(i).toString().toStdString()); });
    return box;
}

}  // namespace

SettingsWindow::~SettingsWindow() = default;

SettingsWindow::SettingsWindow(Preferences& preferences, SecretStore& secrets, Executor& main, Executor& background,
                               QWidget* parent)
    : QDialog(parent), preferences_(preferences), secrets_(secrets), main_(main), background_(background) {
    setWindowTitle("Settings");
    setAccessibleName("Settings");
    resize(720, 520);
    auto* layout = new QHBoxLayout(this);
    pages_ = new QListWidget(this);
    pages_->setObjectName("sidebar");
    pages_->setAccessibleName("Settings pages");
    pages_->setFixedWidth(170);
    stack_ = new QStackedWidget(this);
    layout->addWidget(pages_);
    layout->addWidget(stack_, 1);
    connect(pages_, &QListWidget::currentRowChanged, stack_, &QStackedWidget::setCurrentIndex);
    Preferences& p = preferences_;

    QFormLayout* general = addPage("General");
    addLaunchAtLogin(general);
    general->addRow(checkBox(
        "Zoom in on clicks when a recording opens", p.autoZoomOnClicks(), [&p](bool on) { p.setAutoZoomOnClicks(on); },
        this));
    general->addRow(checkBox(
        "Cinematic automatic zooms", p.autoZoomCinematic(), [&p](bool on) { p.setAutoZoomCinematic(on); }, this));
    general->addRow("Window chrome",
                    choice(
                        "Window chrome",
                        {{"auto", "Automatic"}, {"light", "Light"}, {"dark", "Dark"}, {"translucent", "Translucent"}},
                        p.defaultChromeStyle(), [&p](const std::string& v) { p.setDefaultChromeStyle(v); }, this));
    general->addRow(checkBox(
        "Show the cursor ring", p.defaultShowCursorRing(), [&p](bool on) { p.setDefaultShowCursorRing(on); }, this));
    general->addRow("Cursor ring colour", textField(
                                              "Cursor ring colour", p.defaultCursorRing(),
                                              [&p](const std::string& v) { p.setDefaultCursorRing(v); }, this));
    general->addRow(checkBox(
        "Use the layered composition", p.unifiedLayerModelEnabled(),
        [&p](bool on) { p.setUnifiedLayerModelEnabled(on); }, this));

    QFormLayout* recording = addPage("Recording");
    recording->addRow(checkBox(
        "Record the microphone", p.defaultMicOn(), [&p](bool on) { p.setDefaultMicOn(on); }, this));
    recording->addRow(checkBox(
        "Record system audio", p.defaultAudioOn(), [&p](bool on) { p.setDefaultAudioOn(on); }, this));
    recording->addRow(checkBox(
        "Record the face camera", p.defaultWebcamOn(), [&p](bool on) { p.setDefaultWebcamOn(on); }, this));
    recording->addRow(checkBox(
        "Include the window's title bar", p.defaultIncludeWindowChrome(),
        [&p](bool on) { p.setDefaultIncludeWindowChrome(on); }, this));
    recording->addRow(
        "Cursor",
        choice(
            "Cursor", {{"pointer", "Redrawn pointer"}, {"touch", "Touch (mobile)"}, {"system", "System cursor"}},
            std::string(rawValue(normalizedRecordingCursorMode(p.defaultRecordingCursorMode()))),
            [&p](const std::string& v) {
                p.setDefaultRecordingCursorMode(v);
                p.setDefaultMobileTouchMode(v == "touch");
            },
            this));
    recording->addRow(
        "Screenshots go to",
        choice(
            "Screenshots go to", {{"project", "The project"}, {"desktop", "The desktop"}}, p.screenshotDestination(),
            [&p](const std::string& v) { p.setScreenshotDestination(v); }, this));

    QFormLayout* shortcuts = addPage("Shortcuts");
    if (const auto support = app::globalShortcutSupport(); support.needsDesktopBinding()) {
        addDesktopBindings(shortcuts);
    } else {
        shortcuts->addRow(checkBox(
            "Global shortcut for a new recording", p.hotkeyNewRecordingEnabled(),
            [&p](bool on) { p.setHotkeyNewRecordingEnabled(on); }, this));
        shortcuts->addRow(checkBox(
            "Global shortcut for a screenshot", p.hotkeyScreenshotEnabled(),
            [&p](bool on) { p.setHotkeyScreenshotEnabled(on); }, this));
        addChordField(shortcuts, "New recording shortcut", HotkeyAction::newRecording);
        addChordField(shortcuts, "Screenshot shortcut", HotkeyAction::screenshot);
    }

    QFormLayout* exporting = addPage("Export");
    std::vector<std::pair<std::string, QString>> qualities;
    for (const auto quality : kAllExportQualities) {
        const auto raw = std::string(rawValue(quality));
        QString label = qs(raw);
        label[0] = label[0].toUpper();
        qualities.emplace_back(raw, label);
    }
    exporting->addRow("Quality", choice(
                                     "Export quality", qualities, p.exportQuality().value_or("automatic"),
                                     [&p](const std::string& v) { p.setExportQuality(v); }, this));
    auto* lastFolder = new QLabel(QString::fromStdString(p.lastExportDirectory().value_or("Not chosen yet")), this);
    lastFolder->setAccessibleName("Last export folder");
    exporting->addRow("Last export folder", lastFolder);

    QFormLayout* sharing = addPage("Sharing");
    sharing->addRow("Share to", choice(
                                    "Share backend",
                                    {{"hosted", "Orvane (hosted)"},
                                     {"customSupabase", "My Supabase project"},
                                     {"byoHTTP", "My own HTTP backend"}},
                                    std::string(rawValue(p.shareBackendMode())),
                                    [&p](const std::string& v) {
                                        if (auto mode = shareBackendModeFromRaw(v)) p.setShareBackendMode(*mode);
                                    },
                                    this));
    sharing->addRow("Link permission", textField(
                                           "Link permission", p.defaultSharePermission(),
                                           [&p](const std::string& v) { p.setDefaultSharePermission(v); }, this));
    auto* maxUpload = new QDoubleSpinBox(this);
    maxUpload->setAccessibleName("Largest upload (MB)");
    maxUpload->setRange(1, 100000);
    maxUpload->setValue(p.shareMaxUploadMB().value_or(Preferences::kSettingsDefaultShareMaxUploadMB));
    connect(maxUpload, &QDoubleSpinBox::editingFinished, this,
            [&p, maxUpload] { p.setShareMaxUploadMB(maxUpload->value()); });
    sharing->addRow("Largest upload (MB)", maxUpload);
    sharing->addRow("Supabase URL", textField(
                                        "Supabase URL", p.customSupabaseURL(),
                                        [&p](const std::string& v) { p.setCustomSupabaseURL(v); }, this));
    sharing->addRow("Supabase bucket", textField(
                                           "Supabase bucket", p.customSupabaseBucket(),
                                           [&p](const std::string& v) { p.setCustomSupabaseBucket(v); }, this));
    sharing->addRow("Supabase table", textField(
                                          "Supabase table", p.customSupabaseMetadataTable(),
                                          [&p](const std::string& v) { p.setCustomSupabaseMetadataTable(v); }, this));
    addSecretField(sharing, "Supabase anonymous key", std::string(kCustomSupabaseAnonKeyAccount));
    sharing->addRow("Share host", textField(
                                      "Share host", p.customShareHost(),
                                      [&p](const std::string& v) { p.setCustomShareHost(v); }, this));
    sharing->addRow("Share path", textField(
                                      "Share path", p.customShareURLPattern(),
                                      [&p](const std::string& v) { p.setCustomShareURLPattern(v); }, this));
    sharing->addRow("Backend URL",
                    textField(
                        "Backend URL", p.byoBackendURL(), [&p](const std::string& v) { p.setBYOBackendURL(v); }, this));
    sharing->addRow("Backend share host", textField(
                                              "Backend share host", p.byoShareHost(),
                                              [&p](const std::string& v) { p.setBYOShareHost(v); }, this));
    addSecretField(sharing, "Backend token", std::string(kBYOBearerTokenAccount));

    QFormLayout* voice = addPage("Voice");
    voice->addRow("Provider", choice(
                                  "Voice provider",
                                  {{"zantHosted", "Orvane (hosted)"},
                                   {"elevenLabs", "ElevenLabs"},
                                   {"cartesia", "Cartesia"},
                                   {"openai", "OpenAI"},
                                   {"custom", "Custom endpoint"}},
                                  p.voiceProviderKind().value_or("zantHosted"),
                                  [&p](const std::string& v) { p.setVoiceProviderKind(v); }, this));
    voice->addRow("Custom endpoint", textField(
                                         "Custom endpoint", p.voiceProviderCustomEndpoint().value_or(""),
                                         [&p](const std::string& v) { p.setVoiceProviderCustomEndpoint(v); }, this));
    addSecretField(voice, "ElevenLabs key", "elevenLabsAPIKey");
    addSecretField(voice, "Cartesia key", "cartesiaAPIKey");
    addSecretField(voice, "OpenAI key", "openaiTTSAPIKey");
    addSecretField(voice, "Custom endpoint key", "customVoiceProviderAPIKey");

    QFormLayout* privacy = addPage("Privacy");
    privacy->addRow(checkBox(
        "Send anonymous usage statistics", p.productAnalyticsEnabled(),
        [&p](bool on) { p.setProductAnalyticsEnabled(on); }, this));

    pages_->setCurrentRow(0);
}

// The switch shows what the session will do at the next login, read again whenever the window
// opens, as the user may have removed the entry in the desktop's own settings meanwhile.
void SettingsWindow::addLaunchAtLogin(QFormLayout* page) {
    const auto self = runningExecutablePath();
    launchAtLogin_ = std::make_unique<LaunchAtLoginController>(
        preferences_, self, self && LaunchAtLoginController::runsFromInstalledLocation(*self));
    auto* box = new QCheckBox("Start Orvane at login", this);
    box->setAccessibleName("Start Orvane at login");
    auto* status = new QLabel(this);
    status->setAccessibleName("Start at login status");
    status->setWordWrap(true);
    auto* row = new QHBoxLayout;
    row->addWidget(box);
    row->addWidget(status, 1);
    page->addRow(row);
    LaunchAtLoginController& controller = *launchAtLogin_;
    auto show = [&controller, box, status] {
        const QSignalBlocker quiet(box);
        box->setChecked(controller.isEnabled());
        box->setEnabled(controller.status() != LaunchAtLoginStatus::notFound || controller.isEnabled());
        QString text = QString::fromStdString(controller.statusText());
        if (controller.errorMessage()) text += " — " + QString::fromStdString(*controller.errorMessage());
        status->setText(text);
    };
    launchAtLoginSubscription_ = controller.observe(show);
    show();
    connect(box, &QCheckBox::toggled, this, [&controller](bool on) { controller.setEnabled(on); });
}

void SettingsWindow::showEvent(QShowEvent* event) {
    if (launchAtLogin_) launchAtLogin_->refresh();
    QDialog::showEvent(event);
}

void SettingsWindow::addDesktopBindings(QFormLayout* page) {
    auto* note = new QLabel(
        "On Wayland only the desktop itself receives keys pressed in every application. Bind these commands to "
        "keys in your desktop's keyboard settings (GNOME: Settings \u2192 Keyboard \u2192 Custom Shortcuts; KDE "
        "Plasma: System Settings \u2192 Shortcuts; sway: a bindsym line in its configuration).",
        this);
    note->setWordWrap(true);
    note->setAccessibleName("Shortcuts on Wayland");
    page->addRow(note);
    const auto running = runningExecutablePath();
    const char* path = std::getenv("PATH");
    const auto program =
        app::orvaneCommandForDesktop(path ? path : "", running ? running->parent_path() : std::filesystem::path());
    for (const auto& binding : app::desktopShortcutCommands(program)) {
        auto* row = new QWidget(this);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        const QString command = qs(binding.command);
        auto* field = new QLineEdit(command, row);
        field->setReadOnly(true);
        field->setAccessibleName(qs(binding.action) + " command");
        auto* copy = new QPushButton("Copy", row);
        copy->setAccessibleName("Copy " + qs(binding.action).toLower() + " command");
        connect(copy, &QPushButton::clicked, this, [command] { QGuiApplication::clipboard()->setText(command); });
        layout->addWidget(field, 1);
        layout->addWidget(copy);
        page->addRow(qs(binding.action), row);
    }
}

// A custom chord is stored only once it reads as one; an empty field goes back to the default.
void SettingsWindow::addChordField(QFormLayout* page, const QString& label, HotkeyAction action) {
    Preferences& p = preferences_;
    auto* field = new QLineEdit(QString::fromStdString(GlobalHotkeyWiring::customChordText(p, action)), this);
    field->setAccessibleName(label);
    field->setPlaceholderText(QString::fromStdString(hotkeyChordText(defaultHotkeyChord(action))));
    auto* problem = new QLabel(this);
    problem->setAccessibleName(label + " problem");
    problem->setWordWrap(true);
    problem->hide();
    auto* column = new QVBoxLayout;
    column->addWidget(field);
    column->addWidget(problem);
    page->addRow(label, column);
    connect(field, &QLineEdit::editingFinished, this, [&p, field, problem, action] {
        const std::string text = field->text().trimmed().toStdString();
        std::string stored;
        if (!text.empty()) {
            const auto chord = parseHotkeyChord(text);
            if (!chord) {
                problem->setText(
                    "Not a shortcut: hold at least one of Ctrl, Shift, Alt or Super with a letter, "
                    "a digit or F1\u2013F12, like Ctrl+Shift+6.");
                problem->show();
                return;
            }
            stored = hotkeyChordText(*chord);
        }
        problem->hide();
        field->setText(QString::fromStdString(stored));
        GlobalHotkeyWiring::setCustomChordText(p, action, stored);
    });
}

QFormLayout* SettingsWindow::addPage(const QString& name) {
    auto* page = new QWidget(stack_);
    page->setAccessibleName(name + " settings");
    auto* form = new QFormLayout(page);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    stack_->addWidget(page);
    auto* item = new QListWidgetItem(name, pages_);
    item->setData(Qt::AccessibleTextRole, name);
    return form;
}

void SettingsWindow::showPage(const QString& page) {
    const auto found = pages_->findItems(page, Qt::MatchExactly);
    if (!found.isEmpty()) pages_->setCurrentItem(found.first());
    show();
    raise();
    activateWindow();
}

// The field never shows the secret: it says whether one is stored, and an entry replaces it.
void SettingsWindow::addSecretField(QFormLayout* page, const QString& label, const std::string& account) {
    auto* field = new QLineEdit(this);
    field->setAccessibleName(label);
    field->setEchoMode(QLineEdit::Password);
    field->setPlaceholderText("Checking...");
    auto* clear = new QPushButton("Remove", this);
    clear->setAccessibleName("Remove " + label);
    auto* row = new QHBoxLayout;
    row->addWidget(field, 1);
    row->addWidget(clear);
    page->addRow(label, row);

    std::weak_ptr<SettingsWindow*> weak = self_;
    // Reports a keychain outcome on the main loop while the window still exists.
    auto report = [&main = main_, weak, field](std::optional<bool> stored, std::string error) {
        main.post([weak, field, stored, error = std::move(error)] {
            if (!weak.lock()) return;
            if (!error.empty()) {
                field->setPlaceholderText(QString::fromStdString("Keychain unavailable: " + error));
            } else if (stored) {
                field->setPlaceholderText(*stored ? "Stored in the keychain" : "Not set");
            }
        });
    };
    SecretStore& secrets = secrets_;
    background_.post([&secrets, account, report] {
        try {
            const auto value = secrets.read(account);
            report(value && !value->empty(), {});
        } catch (const std::exception& e) {
            report(std::nullopt, e.what());
        }
    });
    connect(field, &QLineEdit::editingFinished, this, [this, &secrets, field, account, report] {
        const std::string value = field->text().trimmed().toStdString();
        if (value.empty()) return;
        field->clear();
        field->setPlaceholderText("Saving...");
        background_.post([&secrets, account, value, report] {
            try {
                secrets.write(account, value);
                report(true, {});
            } catch (const std::exception& e) {
                log::warning(log_area::kKeychain, "could not store %s: %s", account.c_str(), e.what());
                report(std::nullopt, e.what());
            }
        });
    });
    connect(clear, &QPushButton::clicked, this, [this, &secrets, account, report] {
        background_.post([&secrets, account, report] {
            try {
                secrets.remove(account);
                report(false, {});
            } catch (const std::exception& e) {
                report(std::nullopt, e.what());
            }
        });
    });
}

}  // namespace orvane::studio
