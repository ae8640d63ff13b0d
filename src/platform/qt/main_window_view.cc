#include "platform/qt/main_window_view.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "base/error_report.h"
#include "platform/runtime_error.h"
#include "shell/lifecycle.h"

namespace xfr {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

// The moving picture of the copy animation: a small sheet of paper with lines on it.
QPixmap PaperPixmap() {
  QPixmap pix(28, 34);
  pix.fill(Qt::transparent);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(60, 60, 60), 1.5));
  p.setBrush(Qt::white);
  p.drawRect(2, 2, 22, 29);
  p.setPen(QPen(QColor(90, 120, 200), 1.5));
  for (int y = 9; y < 28; y += 5) p.drawLine(6, y, 20, y);
  return pix;
}

QPixmap IconPixmap(const Picture& picture) {
  QImage image;
  if (picture.empty() ||
      !image.loadFromData(reinterpret_cast<const uchar*>(picture.bytes.data()),
                          static_cast<int>(picture.bytes.size()))) {
    return QPixmap();
  }
  return QPixmap::fromImage(image.scaled(40, 40, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

QLabel* Heading(const QString& text) {
  auto* l = new QLabel(text);
  QFont f = l->font();
  f.setBold(true);
  l->setFont(f);
  return l;
}

}  // namespace

MainWindowView::MainWindowView(FrmMain& form, Commands commands, QWidget* parent)
    : QWidget(parent), form_(form), commands_(std::move(commands)) {
  Build();
  if (commands_.undo) {
    // The layout has no room for a fourth button: the item is on the form's context menu.
    auto* undo = new QAction(tr("Undo last read"), this);
    undo->setObjectName("undoLastRead");
    connect(undo, &QAction::triggered, this, [this] { RunHandler(commands_.undo); });
    addAction(undo);
    setContextMenuPolicy(Qt::ActionsContextMenu);
  }
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { update(); });
  Sync();
}

void MainWindowView::Build() {
  setWindowTitle(Q(form_.caption));
  // Locked boxes look read-only, so nobody tries to type into them.
  setStyleSheet("QLineEdit[readOnly=\"true\"] { background: palette(window); }");
  auto* outer = new QVBoxLayout(this);
  auto* grid = new QGridLayout();
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(3);
  outer->addLayout(grid);

  int row = 0;
  grid->addWidget(Heading(Q(form_.lblAppraisals.caption)), row, 1);
  grid->addWidget(Heading(Q(form_.lblTracking.caption)), row, 2);
  labels_[form_.lblAppraisals.name] = qobject_cast<QLabel*>(grid->itemAtPosition(row, 1)->widget());
  labels_[form_.lblTracking.name] = qobject_cast<QLabel*>(grid->itemAtPosition(row, 2)->widget());
  ++row;

  auto add_label = [&](Label* label) {
    auto* w = new QLabel();
    w->setFrameShape(QFrame::StyledPanel);
    w->setMinimumWidth(230);
    w->setTextInteractionFlags(Qt::TextSelectableByMouse);
    labels_[label->name] = w;
    return w;
  };
  auto add_box = [&](TextBox* box) {
    auto* w = new QLineEdit();
    w->setMinimumWidth(230);
    w->setObjectName(Q(box->name));
    boxes_[box->name] = w;
    connect(w, &QLineEdit::textEdited, this,
            [this, box](const QString& text) { box->Type(text.toStdString()); });
    return w;
  };
  struct Row {
    const char* caption;
    Label* label;
    TextBox* box;
  };
  auto add_rows = [&](std::initializer_list<Row> rows) {
    for (const Row& r : rows) {
      auto* caption = new QLabel(QString::fromUtf8(r.caption));
      grid->addWidget(caption, row, 0, Qt::AlignRight);
      if (r.label) grid->addWidget(add_label(r.label), row, 1);
      if (r.box) {
        grid->addWidget(add_box(r.box), row, 2);
        row_captions_[r.box->name] = caption;
      }
      ++row;
    }
  };
  FrmMain& f = form_;
  add_rows({{"File Number", &f.lblFile_Num, &f.txtFile_Num},
            {"Address", &f.lblPr_Street, &f.txtPR_Street},
            {"City", &f.lblPr_City, &f.txtPR_City},
            {"ST", &f.lblPr_State, &f.txtPR_State},
            {"Zip", &f.lblPr_Zip, &f.txtPr_Zip},
            {"County", &f.lblPr_County, &f.txtPR_County},
            {"Neighborhood", &f.lblPr_Subdiv, &f.txtPr_Subdiv},
            {"Map Ref #", &f.lblPr_Map_Ref, &f.txtPr_Map_Ref},
            {"Census", &f.lblPr_Census, &f.txtPR_Census},
            {"Reference #", &f.LblPr_Ref_Num, &f.txtPr_Ref_Num},
            {"Owner", &f.lblPr_Owner, &f.txtPr_Owner},
            {"Borrower", &f.lblPr_Borrowr, &f.txtPr_Borrowr},
            {"Form Type", nullptr, &f.txtAss_Type},
            {"Completion Date", &f.lblPr_dFinish, &f.txtPr_dfinish},
            {"Estimated Value", &f.lblPr_ApprVal, &f.txtPr_Apprval}});

  // The nine legal parts, in a compact block of the tracking column, beside the composed
  // legal description on the appraisal side.
  auto* legal_caption = new QLabel("Legal Description");
  grid->addWidget(legal_caption, row, 0, Qt::AlignRight | Qt::AlignTop);
  QLabel* legal = add_label(&f.lblLegal);
  legal->setWordWrap(true);
  legal->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* legal_grid = new QGridLayout();
  legal_grid->setHorizontalSpacing(4);
  legal_grid->setVerticalSpacing(3);
  struct Part {
    const char* caption;
    TextBox* box;
  } parts[] = {{"Lot", &f.txtPr_Lot},         {"Block", &f.txtPr_Block},
               {"Land Lot", &f.txtPr_LandLot}, {"Dist", &f.txtPr_Landist},
               {"Section", &f.txtPr_Section},  {"Deed Book", &f.txtPr_DeedBk},
               {"DB Page", &f.txtPr_DeedPg},   {"Plat Book", &f.txtPr_PlatBk},
               {"PB Page", &f.txtPr_PlatPg}};
  int i = 0;
  for (const Part& p : parts) {
    auto* c = new QLabel(QString::fromUtf8(p.caption));
    QLineEdit* e = add_box(p.box);
    e->setMinimumWidth(60);
    row_captions_[p.box->name] = c;
    legal_grid->addWidget(c, i / 2, (i % 2) * 2, Qt::AlignRight);
    legal_grid->addWidget(e, i / 2, (i % 2) * 2 + 1);
    ++i;
  }
  grid->addWidget(legal, row, 1, 5, 1);
  grid->addLayout(legal_grid, row, 2, 5, 1);
  row += 5;

  add_rows({{"Client #", &f.lblCli_Num, &f.txtCli_Num},
            {"Internal Client ID", &f.lblCli_LName, &f.txtCli_LName},
            {"Client Name", &f.lblPlain_Name, &f.txtPlain_Name},
            {"Address", &f.lblCli_Street, &f.txtCli_Street},
            {"", &f.lblCli_Addr2, &f.txtCli_Addr2},
            {"", &f.lblCli_Addr3, &f.txtCli_Addr3},
            {"Contact", &f.lblCli_Cont, &f.txtCli_Cont}});
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(2, 1);

  // The copy animation: the two end pictures and the moving sheet between them.
  animation_ = new QWidget();
  animation_->setFixedHeight(48);
  auto* ani_layout = new QHBoxLayout(animation_);
  ani_layout->setContentsMargins(0, 0, 0, 0);
  trk_icon_ = new QLabel();
  apx_icon_ = new QLabel();
  for (QLabel* icon : {trk_icon_, apx_icon_}) {
    icon->setFixedSize(44, 44);
    icon->setFrameShape(QFrame::Box);
    icon->setAlignment(Qt::AlignCenter);
  }
  ani_ = new QLabel();
  ani_->setPixmap(PaperPixmap());
  auto* track = new QWidget();
  track->setMinimumWidth(200);
  ani_->setParent(track);
  ani_layout->addWidget(trk_icon_);
  ani_layout->addWidget(track, 1);
  ani_layout->addWidget(apx_icon_);
  outer->addWidget(animation_);

  status_ = new QLabel();
  status_->setFrameShape(QFrame::Panel);
  status_->setFrameShadow(QFrame::Sunken);
  outer->addWidget(status_);

  auto* buttons = new QHBoxLayout();
  read_button_ = new QPushButton(Q(f.CmdRead.caption));
  send_button_ = new QPushButton(Q(f.cmdSend.caption));
  exit_button_ = new QPushButton(Q(f.cmdExit.caption));
  auto_exit_ = new QCheckBox(Q(f.ckbAutoExit.caption));
  auto_exit_->setTristate(true);
  buttons->addWidget(read_button_);
  buttons->addWidget(send_button_);
  buttons->addStretch(1);
  buttons->addWidget(auto_exit_);
  buttons->addWidget(exit_button_);
  outer->addLayout(buttons);

  connect(read_button_, &QPushButton::clicked, this, [this] {
    if (commands_.read) RunHandler(commands_.read);
  });
  connect(send_button_, &QPushButton::clicked, this, [this] {
    if (commands_.send) RunHandler(commands_.send);
  });
  connect(exit_button_, &QPushButton::clicked, this,
          [this] { RunHandler([this] { cmdExit_Click(form_); }); });
  connect(auto_exit_, &QCheckBox::clicked, this, [this] {
    // A click checks or clears; only the preference file can make the box grey.
    form_.ckbAutoExit.value = form_.ckbAutoExit.value == 1 ? 0 : 1;
    Sync();
  });
}

void MainWindowView::Sync() {
  FrmMain& f = form_;
  setWindowTitle(Q(f.caption));
  for (TextBox* box : f.TrackingBoxes()) {
    QLineEdit* w = boxes_.at(box->name);
    QString text = Q(box->text);
    if (w->text() != text) w->setText(text);
    const int max_length = box->max_length > 0 ? box->max_length : 32767;
    if (w->maxLength() != max_length) w->setMaxLength(max_length);
    if (w->isReadOnly() != box->locked) {
      w->setReadOnly(box->locked);
      w->style()->unpolish(w);
      w->style()->polish(w);
    }
    w->setVisible(box->visible);
    w->setToolTip(Q(box->tool_tip));
    w->setEnabled(box->enabled);
  }
  // A row whose appraisal label and box are both hidden hides its caption too; the client
  // captions stay, as they always have.
  for (auto& [name, caption] : row_captions_) {
    TextBox* box = f.FindBox(name);
    bool hidden_row = box == &f.txtPr_dfinish || box == &f.txtPr_Apprval;
    caption->setVisible(!hidden_row || box->visible);
  }
  for (Label* label : f.AppraisalLabels()) {
    QLabel* w = labels_.at(label->name);
    if (w->text() != Q(label->caption)) w->setText(Q(label->caption));
    w->setVisible(label->visible);
  }
  read_button_->setToolTip(Q(f.CmdRead.tool_tip));
  send_button_->setToolTip(Q(f.cmdSend.tool_tip));
  const Qt::CheckState auto_exit = f.ckbAutoExit.value == 0   ? Qt::Unchecked
                                  : f.ckbAutoExit.value == 1 ? Qt::Checked
                                                             : Qt::PartiallyChecked;
  if (auto_exit_->checkState() != auto_exit) auto_exit_->setCheckState(auto_exit);
  if (status_->text() != Q(f.LblMsg.caption)) status_->setText(Q(f.LblMsg.caption));
  status_->setVisible(f.LblMsg.visible);

  // Sync runs after every repaint (the hand-off check); a widget given the same picture or text
  // again would repaint and bring Sync back, round and round, so only changes are passed on.
  auto set_icon = [](QLabel* icon, const Picture& picture, std::string* shown) {
    if (picture.bytes == *shown && !icon->pixmap().isNull() == !picture.empty()) return;
    *shown = picture.bytes;
    icon->setPixmap(IconPixmap(picture));
  };
  set_icon(trk_icon_, f.imgTrkIco.picture, &trk_icon_bytes_);
  set_icon(apx_icon_, f.imgApxIco.picture, &apx_icon_bytes_);
  trk_icon_->setVisible(f.imgTrkIco.visible);
  apx_icon_->setVisible(f.imgApxIco.visible);
  ani_->setVisible(f.aniCopy.visible);
  if (f.aniCopy.visible) {
    // Each time the window catches up during a transfer the sheet moves on one step.
    QWidget* track = ani_->parentWidget();
    int span = std::max(1, track->width() - ani_->width());
    ani_->move((ani_step_++ * 37) % span, (track->height() - ani_->height()) / 2);
  } else {
    ani_step_ = 0;
  }
}

void MainWindowView::RunHandler(const std::function<void()>& handler) {
  RunWindowHandler(
      form_.app(), handler, running_, ended_, [this](int code) { End(code); }, [this] { Sync(); });
}

void MainWindowView::End(int code) {
  ended_ = true;
  exit_code_ = code;
  Sync();
  close();
  QCoreApplication::exit(code);
}

void MainWindowView::WatchDirectory(const std::string& native_dir) {
  if (!native_dir.empty()) watcher_.addPath(Q(native_dir));
}

QLineEdit* MainWindowView::Box(const std::string& name) const {
  auto it = boxes_.find(name);
  return it == boxes_.end() ? nullptr : it->second;
}

QLabel* MainWindowView::LabelWidget(const std::string& name) const {
  auto it = labels_.find(name);
  return it == labels_.end() ? nullptr : it->second;
}

void MainWindowView::SchedulePaintCheck() {
  if (paint_check_queued_ || ended_) return;
  paint_check_queued_ = true;
  // The hand-off file is looked for after each repaint, outside the paint itself, since showing
  // its record may raise a message box.
  QTimer::singleShot(0, this, [this] {
    paint_check_queued_ = false;
    if (running_ || ended_) return;
    RunHandler([this] { Form_Paint(form_); });
  });
}

void MainWindowView::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  SchedulePaintCheck();
}

void MainWindowView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    QTimer::singleShot(0, this, [this] { RunHandler([this] { Form_Activate(form_); }); });
  }
}

void MainWindowView::closeEvent(QCloseEvent* event) {
  if (!ended_ && !form_.unloaded) {
    if (running_) {
      // A command is still running; the window closes when it is done.
      event->ignore();
      return;
    }
    running_ = true;
    try {
      Form_Unload(form_);
    } catch (const RuntimeError&) {
    } catch (const EndProgram&) {
    }
    running_ = false;
  }
  event->accept();
}

}  // namespace xfr
