#include "studio/editor/inspector_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <sstream>

#include "editor/editor_state.h"
#include "model/cursor_style.h"
#include "model/window_chrome_style.h"
#include "render/backdrop/background_renderer.h"

namespace orvane::studio {

namespace {

QString styleTitle(std::string_view raw) {
    // "sequoiaOrange" -> "Sequoia Orange"
    QString title;
    for (char letter : raw) {
        const QChar character = QChar::fromLatin1(letter);
        if (title.isEmpty()) {
            title += character.toUpper();
        } else {
            if (character.isUpper() || (character.isDigit() && !title.back().isDigit())) title += ' ';
            title += character;
        }
    }
    return title;
}

// A small picture of a background drawn by the renderer itself, so the swatch is the real thing.
QIcon swatchIcon(BackgroundStyle style, const std::optional<std::filesystem::path>& custom) {
    constexpr int kWidth = 56;
    constexpr int kHeight = 36;
    const cairo::Surface surface = renderBackground(style, custom, kWidth, kHeight);
    if (!surface) return {};
    cairo_surface_flush(surface.get());
    const QImage image(cairo_image_surface_get_data(surface.get()), kWidth, kHeight,
                       cairo_image_surface_get_stride(surface.get()), QImage::Format_ARGB32_Premultiplied);
    return QIcon(QPixmap::fromImage(image.copy()));
}

QSlider* volumeSlider(const QString& name) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, 200);  // percent; above 100 boosts
    slider->setAccessibleName(name);
    return slider;
}

QGroupBox* section(const QString& title) {
    auto* box = new QGroupBox(title);
    box->setFlat(true);
    return box;
}

// Words spread evenly over the segment: edited text has no recognised word timings.
std::vector<CaptionWord> wordsSpread(const std::string& text, double start, double end) {
    std::vector<std::string> tokens;
    std::istringstream in(text);
    for (std::string token; in >> token;) tokens.push_back(token);
    std::vector<CaptionWord> words;
    const double step = tokens.empty() ? 0 : (end - start) / static_cast<double>(tokens.size());
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        words.push_back({start + step * static_cast<double>(i), start + step * static_cast<double>(i + 1), tokens[i]});
    }
    return words;
}

}  // namespace

InspectorPanel::InspectorPanel(EditorState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setAccessibleName("Inspector");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildFrame());
    layout->addWidget(buildCursor());
    layout->addWidget(buildAudio());
    layout->addWidget(buildCaptions());
    layout->addStretch();
    subscription_ = state_.changed.subscribe([this](const EditorChange&) { refresh(); });
    refresh();
}

QWidget* InspectorPanel::buildFrame() {
    QGroupBox* box = section("Frame");
    auto* form = new QFormLayout(box);
    auto* grid = new QGridLayout;
    grid->setSpacing(4);
    // The chosen background carries the accent ring, the others none.
    box->setStyleSheet(
        "QToolButton { border: 2px solid transparent; border-radius: 6px; }"
        "QToolButton:checked { border-color: palette(highlight); }");
    int index = 0;
    const auto& custom = state_.values().edit.frame.customBackgroundPath;
    for (BackgroundStyle style : kAllBackgroundStyles) {
        if (style == BackgroundStyle::customImage) continue;
        auto* button = new QToolButton;
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setIcon(swatchIcon(style, custom));
        button->setIconSize({56, 36});
        const QString title = styleTitle(rawValue(style));
        button->setToolTip(title);
        button->setAccessibleName("Background " + title);
        connect(button, &QToolButton::clicked, this, [this, style] { state_.setBackground(style); });
        grid->addWidget(button, index / 4, index % 4);
        swatches_[style] = button;
        ++index;
    }
    form->addRow(new QLabel("Background"));
    form->addRow(grid);
    auto* customButton = new QPushButton("Custom picture...");
    customButton->setAccessibleName("Custom background picture");
    connect(customButton, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, "Background picture", QString(),
                                                          "Pictures (*.png *.jpg *.jpeg *.webp *.bmp)");
        if (!file.isEmpty()) chooseCustomBackground(file);
    });
    form->addRow(customButton);

    inset_ = new QSlider(Qt::Horizontal);
    inset_->setRange(0, 25);  // percent of the canvas
    inset_->setAccessibleName("Inset");
    // One undo step per gesture: a drag applies when the slider is let go.
    connect(inset_, &QSlider::valueChanged, this, [this](int value) {
        if (!refreshing_ && !inset_->isSliderDown()) state_.setInset(value / 100.0);
    });
    connect(inset_, &QSlider::sliderReleased, this, [this] { state_.setInset(inset_->value() / 100.0); });
    form->addRow("Inset", inset_);
    corners_ = new QDoubleSpinBox;
    corners_->setRange(0, 60);
    corners_->setSuffix(" pt");
    corners_->setAccessibleName("Corner radius");
    connect(corners_, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        if (!refreshing_) state_.setCornerRadius(value);
    });
    form->addRow("Corners", corners_);

    chrome_ = new QCheckBox("Window title bar");
    chrome_->setAccessibleName("Window title bar");
    connect(chrome_, &QCheckBox::toggled, this, [this](bool on) {
        if (!refreshing_) state_.setShowWindowChrome(on);
    });
    form->addRow(chrome_);
    chromeStyle_ = new QComboBox;
    chromeStyle_->setAccessibleName("Title bar style");
    for (WindowChromeStyle style : kAllWindowChromeStyles) {
        chromeStyle_->addItem(styleTitle(rawValue(style)), static_cast<int>(style));
    }
    connect(chromeStyle_, &QComboBox::currentIndexChanged, this, [this](int chosen) {
        if (!refreshing_) state_.setChromeStyle(static_cast<WindowChromeStyle>(chromeStyle_->itemData(chosen).toInt()));
    });
    form->addRow("Title bar", chromeStyle_);
    title_ = new QLineEdit;
    title_->setAccessibleName("Window title");
    title_->setPlaceholderText("Title shown in the bar");
    connect(title_, &QLineEdit::editingFinished, this, [this] {
        if (!refreshing_) state_.setWindowTitle(title_->text().toStdString());
    });
    form->addRow("Title", title_);
    return box;
}

QWidget* InspectorPanel::buildCursor() {
    QGroupBox* box = section("Cursor");
    auto* form = new QFormLayout(box);
    cursorStyle_ = new QComboBox;
    cursorStyle_->setAccessibleName("Cursor style");
    for (CursorVisualStyle style : kAllCursorVisualStyles) {
        cursorStyle_->addItem(styleTitle(rawValue(style)), static_cast<int>(style));
    }
    connect(cursorStyle_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!refreshing_) {
            state_.setCursorVisualStyle(static_cast<CursorVisualStyle>(cursorStyle_->itemData(index).toInt()));
        }
    });
    form->addRow("Style", cursorStyle_);
    ring_ = new QCheckBox("Ring around the pointer");
    ring_->setAccessibleName("Cursor ring");
    connect(ring_, &QCheckBox::toggled, this, [this](bool on) {
        if (!refreshing_) state_.setShowCursorRing(on);
    });
    form->addRow(ring_);
    clickAnimation_ = new QComboBox;
    clickAnimation_->setAccessibleName("Click animation");
    for (CursorClickAnimationStyle style : kAllCursorClickAnimationStyles) {
        if (style == CursorClickAnimationStyle::brush) continue;  // no longer offered
        clickAnimation_->addItem(styleTitle(rawValue(style)), static_cast<int>(style));
    }
    connect(clickAnimation_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!refreshing_) {
            state_.setCursorClickAnimationStyle(
                static_cast<CursorClickAnimationStyle>(clickAnimation_->itemData(index).toInt()));
        }
    });
    form->addRow("Clicks", clickAnimation_);
    clickSounds_ = new QCheckBox("Click sounds");
    clickSounds_->setAccessibleName("Click sounds");
    connect(clickSounds_, &QCheckBox::toggled, this, [this](bool on) {
        if (!refreshing_) state_.modify([on](EditorValues& v) { v.edit.cursor.cursorClickSounds = on; });
    });
    form->addRow(clickSounds_);
    return box;
}

QWidget* InspectorPanel::buildAudio() {
    QGroupBox* box = section("Audio");
    auto* form = new QFormLayout(box);
    originalVolume_ = volumeSlider("Recording volume");
    voiceVolume_ = volumeSlider("Voice volume");
    musicVolume_ = volumeSlider("Music volume");
    const auto bind = [this](QSlider* slider, float AudioEdit::*field) {
        connect(slider, &QSlider::valueChanged, this, [this, field](int value) {
            if (!refreshing_) state_.modify([&](EditorValues& v) { v.edit.audio.*field = value / 100.0f; });
        });
    };
    bind(originalVolume_, &AudioEdit::originalAudioVolume);
    bind(voiceVolume_, &AudioEdit::voiceTrackVolume);
    bind(musicVolume_, &AudioEdit::backgroundMusicVolume);
    form->addRow("Recording", originalVolume_);
    form->addRow("Voice", voiceVolume_);
    form->addRow("Music", musicVolume_);
    return box;
}

QWidget* InspectorPanel::buildCaptions() {
    QGroupBox* box = section("Captions");
    auto* layout = new QVBoxLayout(box);
    showCaptions_ = new QCheckBox("Show captions");
    showCaptions_->setAccessibleName("Show captions");
    connect(showCaptions_, &QCheckBox::toggled, this, [this](bool on) {
        if (!refreshing_) state_.setShowCaptions(on);
    });
    layout->addWidget(showCaptions_);
    captions_ = new QListWidget;
    captions_->setAccessibleName("Caption texts");
    captions_->setMinimumHeight(90);
    connect(captions_, &QListWidget::itemChanged, this, &InspectorPanel::captionEdited);
    layout->addWidget(captions_);
    return box;
}

void InspectorPanel::chooseCustomBackground(const QString& file) { state_.setCustomBackground(file.toStdString()); }

void InspectorPanel::captionEdited(QListWidgetItem* item) {
    if (refreshing_) return;
    const int row = captions_->row(item);
    const std::string text = item->text().simplified().toStdString();
    state_.modify([&](EditorValues& v) {
        auto& captions = v.edit.captions.captions;
        if (row < 0 || row >= static_cast<int>(captions.size()) || captions[row].text == text) return;
        captions[row].text = text;
        captions[row].words = wordsSpread(text, captions[row].start, captions[row].end);
    });
}

void InspectorPanel::refresh() {
    refreshing_ = true;
    const auto& edit = state_.values().edit;
    for (auto& [style, button] : swatches_) button->setChecked(edit.frame.background == style);
    inset_->setValue(static_cast<int>(std::lround(edit.frame.inset * 100)));
    corners_->setValue(edit.frame.cornerRadius);
    chrome_->setChecked(edit.frame.showWindowChrome);
    chromeStyle_->setCurrentIndex(chromeStyle_->findData(static_cast<int>(edit.frame.chromeStyle)));
    chromeStyle_->setEnabled(edit.frame.showWindowChrome);
    if (!title_->hasFocus()) title_->setText(QString::fromStdString(edit.frame.windowTitle));
    title_->setEnabled(edit.frame.showWindowChrome);
    cursorStyle_->setCurrentIndex(cursorStyle_->findData(static_cast<int>(edit.cursor.cursorVisualStyle)));
    ring_->setChecked(edit.cursor.showCursorRing);
    clickAnimation_->setCurrentIndex(clickAnimation_->findData(
        static_cast<int>(normalizedClickAnimationStyle(edit.cursor.cursorClickAnimationStyle))));
    clickSounds_->setChecked(edit.cursor.cursorClickSounds);
    originalVolume_->setValue(static_cast<int>(std::lround(edit.audio.originalAudioVolume * 100)));
    voiceVolume_->setValue(static_cast<int>(std::lround(edit.audio.voiceTrackVolume * 100)));
    musicVolume_->setValue(static_cast<int>(std::lround(edit.audio.backgroundMusicVolume * 100)));
    showCaptions_->setChecked(edit.captions.showCaptions);
    const auto& captions = edit.captions.captions;
    if (captions_->count() != static_cast<int>(captions.size())) captions_->clear();
    for (std::size_t i = 0; i < captions.size(); ++i) {
        const QString text = QString::fromStdString(captions[i].text);
        if (static_cast<int>(i) >= captions_->count()) {
            auto* item = new QListWidgetItem(text, captions_);
            item->setFlags(item->flags() | Qt::ItemIsEditable);
        } else if (captions_->item(static_cast<int>(i))->text() != text) {
            captions_->item(static_cast<int>(i))->setText(text);
        }
    }
    refreshing_ = false;
}

}  // namespace orvane::studio
