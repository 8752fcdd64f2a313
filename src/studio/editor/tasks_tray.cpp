#include "studio/editor/tasks_tray.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cmath>

#include "base/log.h"
#include "base/log_areas.h"
#include "export/export_controller.h"
#include "platform/url_opener.h"

namespace orvane::studio {

namespace {

QString describe(const ExportTask& task) {
    const auto& stage = task.stage;
    switch (stage.kind) {
        case ExportTaskStage::Kind::queued: return "Queued";
        case ExportTaskStage::Kind::running: {
            const QString step = QString::fromStdString(stage.message.value_or("Starting"));
            return QString("%1 · %2%").arg(step).arg(static_cast<int>(std::floor(task.progress * 100)));
        }
        case ExportTaskStage::Kind::succeeded: return "Done";
        case ExportTaskStage::Kind::failed: return "Failed: " + QString::fromStdString(stage.message.value_or(""));
        case ExportTaskStage::Kind::cancelled: return "Cancelled";
    }
    return {};
}

}  // namespace

TasksTray::TasksTray(ExportController& controller, UrlOpener& opener, QWidget* parent)
    : QWidget(parent, Qt::Tool), controller_(controller), opener_(opener) {
    setWindowTitle("Background Tasks");
    setAccessibleName("Background tasks");
    resize(420, 260);
    auto* outer = new QVBoxLayout(this);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget;
    rows_ = new QVBoxLayout(content);
    empty_ = new QLabel("No exports yet. Exports you start run here, and you can keep editing meanwhile.");
    empty_->setWordWrap(true);
    rows_->addWidget(empty_);
    rows_->addStretch();
    scroll->setWidget(content);
    outer->addWidget(scroll);
    subscription_ = controller_.changed.subscribe([this] { refresh(); });
    refresh();
}

QString TasksTray::stageText(const Uuid& taskID) const {
    const auto found = rowByTask_.find(taskID);
    return found == rowByTask_.end() ? QString() : found->second.stage->text();
}

void TasksTray::refresh() {
    empty_->setVisible(controller_.tasks().empty());
    for (const ExportTask& task : controller_.tasks()) {
        Row* row = &rowByTask_[task.id];
        const Uuid id = task.id;
        if (!row->frame) {
            row->frame = new QFrame(this);
            row->frame->setFrameShape(QFrame::StyledPanel);
            auto* grid = new QGridLayout(row->frame);
            row->title = new QLabel(QString::fromStdString(task.title));
            row->title->setToolTip(QString::fromStdString(task.subtitle));
            row->stage = new QLabel;
            row->stage->setAccessibleName("Task stage");
            row->progress = new QProgressBar;
            row->progress->setRange(0, 1000);
            row->progress->setTextVisible(false);
            row->progress->setAccessibleName("Task progress");
            row->cancel = new QPushButton("Cancel");
            row->cancel->setAccessibleName("Cancel task");
            row->reveal = new QPushButton("Show in Folder");
            row->reveal->setAccessibleName("Show exported file");
            connect(row->cancel, &QPushButton::clicked, this, [this, id] { controller_.cancel(id); });
            connect(row->reveal, &QPushButton::clicked, this, [this, id] {
                const ExportTask* done = controller_.task(id);
                if (!done || !done->stage.output || done->stage.output->kind != ExportOutcome::Kind::file) return;
                try {
                    opener_.revealFile(done->stage.output->location);
                } catch (const std::exception& e) {
                    log::warning(log_area::kStudio, "could not show %s: %s", done->stage.output->location.c_str(),
                                 e.what());
                }
            });
            grid->addWidget(row->title, 0, 0, 1, 2);
            grid->addWidget(row->stage, 1, 0, 1, 2);
            grid->addWidget(row->progress, 2, 0, 1, 2);
            grid->addWidget(row->cancel, 3, 0);
            grid->addWidget(row->reveal, 3, 1);
            // Newest on top, like the order people look for what they just started.
            rows_->insertWidget(0, row->frame);
        }
        row->stage->setText(describe(task));
        row->progress->setValue(static_cast<int>(task.progress * 1000));
        row->progress->setVisible(task.stage.kind == ExportTaskStage::Kind::running);
        row->cancel->setVisible(!task.stage.finished());
        row->reveal->setVisible(task.stage.kind == ExportTaskStage::Kind::succeeded && task.stage.output &&
                                task.stage.output->kind == ExportOutcome::Kind::file);
    }
}

}  // namespace orvane::studio
