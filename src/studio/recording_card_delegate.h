#pragma once

#include <QStyledItemDelegate>

namespace orvane::studio {

// Draws one recording of the library grid as a card: the thumbnail with rounded corners, the title,
// and duration and date in a quieter colour; the selected card gets the accent outline.
class RecordingCardDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kThumbnailWidth = 240;
    static constexpr int kThumbnailHeight = 150;

    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace orvane::studio
