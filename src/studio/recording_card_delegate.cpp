#include "studio/recording_card_delegate.h"

#include <QPainter>
#include <QPainterPath>

#include "studio/library_model.h"

namespace orvane::studio {

namespace {
constexpr int kPadding = 8;
constexpr int kTextHeight = 44;
constexpr qreal kRadius = 8;
}  // namespace

QSize RecordingCardDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return {kThumbnailWidth + 2 * kPadding, kThumbnailHeight + kTextHeight + 2 * kPadding};
}

void RecordingCardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect card = option.rect.adjusted(2, 2, -2, -2);
    const bool selected = option.state & QStyle::State_Selected;
    const bool hovered = option.state & QStyle::State_MouseOver;
    if (selected || hovered) {
        painter->setPen(selected ? QPen(option.palette.color(QPalette::Highlight), 2) : Qt::NoPen);
        painter->setBrush(option.palette.color(QPalette::AlternateBase));
        painter->drawRoundedRect(card, kRadius, kRadius);
    }

    const QRect picture(card.left() + kPadding - 2, card.top() + kPadding - 2, kThumbnailWidth, kThumbnailHeight);
    QPainterPath clip;
    clip.addRoundedRect(picture, kRadius - 2, kRadius - 2);
    painter->setClipPath(clip);
    const QPixmap thumbnail = index.data(Qt::DecorationRole).value<QPixmap>();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawPixmap(picture, thumbnail);
    painter->setClipping(false);

    QRect text(picture.left(), picture.bottom() + 6, picture.width(), kTextHeight - 6);
    QFont titleFont = option.font;
    titleFont.setBold(true);
    painter->setFont(titleFont);
    painter->setPen(option.palette.color(QPalette::Text));
    const QString title = index.data(LibraryModel::TitleRole).toString();
    painter->drawText(text, Qt::AlignLeft | Qt::AlignTop,
                      QFontMetrics(titleFont).elidedText(title, Qt::ElideRight, text.width()));
    painter->setFont(option.font);
    painter->setPen(option.palette.color(QPalette::PlaceholderText));
    painter->drawText(
        text, Qt::AlignLeft | Qt::AlignBottom,
        index.data(LibraryModel::DurationRole).toString() + "  ·  " + index.data(LibraryModel::DateRole).toString());
    painter->restore();
}

}  // namespace orvane::studio
