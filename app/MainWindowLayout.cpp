// The main window's widgets: the black view area above a 48-pixel toolbar panel with eight
// picture buttons, a separator and the status labels; and the two pop-up menus.
#include <QAction>
#include <QActionGroup>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/Icons.h"
#include "app/MainForm.h"
#include "settings/SystemServices.h"

namespace vigil {
namespace {

constexpr int kWindowWidth = 732;
constexpr int kWindowHeight = 600;
constexpr int kToolbarHeight = 48;
constexpr int kButtonWidth = 41;
constexpr int kButtonHeight = 36;

void paintBlack(QWidget* w) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, Qt::black);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

QLabel* counterLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
  return label;
}

}  // namespace

void TfrmMain::BuildWindow() {
  setObjectName(QStringLiteral("frmMain"));
  resize(kWindowWidth, kWindowHeight);
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());

  pnlView = new QWidget(this);
  pnlView->setObjectName(QStringLiteral("pnlView"));
  paintBlack(pnlView);
  pnlView->installEventFilter(this);
  pnlView->setContextMenuPolicy(Qt::CustomContextMenu);

  pnlToolbar = new QFrame(this);
  pnlToolbar->setObjectName(QStringLiteral("pnlToolbar"));
  pnlToolbar->setFixedHeight(kToolbarHeight);
  pnlToolbar->setAutoFillBackground(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlView, 1);
  layout->addWidget(pnlToolbar);

  BuildMenus();
  BuildToolbar();
  connect(pnlView, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pm1->popup(pnlView->mapToGlobal(at)); });
}

void TfrmMain::BuildToolbar() {
  auto* row = new QHBoxLayout(pnlToolbar);
  row->setContentsMargins(4, 0, 4, 0);
  row->setSpacing(0);
  const auto button = [&](const char* name, const QString& hint, const char* themeName,
                          const char* resource, auto onClick) {
    auto* b = new QToolButton(pnlToolbar);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setFixedSize(kButtonWidth, kButtonHeight);
    b->setIconSize(QSize(28, 28));
    b->setIcon(StationIcon(QString::fromLatin1(themeName), QString::fromLatin1(resource)));
    connect(b, &QToolButton::clicked, this, onClick);
    row->addWidget(b);
    return b;
  };
  btnStart = button("btnStart", QStringLiteral("开始监控"), "media-playback-start", "start",
                    [this] { btnStartClick(); });
  btnStop = button("btnStop", QStringLiteral("停止监控"), "media-playback-stop", "stop",
                   [this] { btnStopClick(); });
  btnStop->setEnabled(false);
  btnPlayBack = button("btnPlayBack", QStringLiteral("查找/回放录像"), "media-seek-backward",
                       "playback", [this] { RunCommand(TCommand::PlayBack); });
  btnFullScreen = button("btnFullScreen", QStringLiteral("全屏显示"), "view-fullscreen",
                         "fullscreen", [this] { ToggleFullScreen(); });
  btnFullScreen->setCheckable(true);
  // The pressed state follows FullScreen, not the click.
  connect(btnFullScreen, &QToolButton::toggled, this,
          [this](bool on) { if (on != FullScreen) btnFullScreen->setChecked(FullScreen); });
  btnSystemSet = button("btnSystemSet", QStringLiteral("系统设置"), "preferences-system",
                        "settings", [this] { RunCommand(TCommand::SystemOptions); });
  btnAlarmSet = button("btnAlarmSet", QStringLiteral("警报设置"), "dialog-warning", "alarm",
                       [this] { RunCommand(TCommand::AlarmSettings); });
  btnNetSet = button("btnNetSet", QStringLiteral("远程连接设置"), "network-workgroup", "network",
                     [this] { RunCommand(TCommand::NetSettings); });
  btnPhoto = button("btnPhoto", QStringLiteral("连续拍照"), "camera-photo", "photo",
                    [this] { RunCommand(TCommand::Photo); });

  auto* separator = new QFrame(pnlToolbar);
  separator->setFrameShape(QFrame::VLine);
  separator->setFrameShadow(QFrame::Sunken);
  row->addSpacing(4);
  row->addWidget(separator);
  row->addSpacing(6);

  // Two rows: mails over uploads, saved pictures over recording files, then the run time
  // over the advertisement link; free space and CPU are kept up to date but hidden.
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(2);
  grid->setVerticalSpacing(2);
  const auto caption = [this](const char* text) { return new QLabel(QString::fromUtf8(text), pnlToolbar); };
  lblSendEmail = counterLabel(pnlToolbar, "lblSendEmail", QStringLiteral("0"));
  lblUploadPic = counterLabel(pnlToolbar, "lblUploadPic", QStringLiteral("0"));
  lblSavePic = counterLabel(pnlToolbar, "lblSavePic", QStringLiteral("0"));
  lblSaveAvi = counterLabel(pnlToolbar, "lblSaveAvi", QStringLiteral("0"));
  lblRunTime = new QLabel(QStringLiteral("00天00小时00分"), pnlToolbar);
  lblRunTime->setObjectName(QStringLiteral("lblRunTime"));
  lblFreeDiskPic = new QLabel(pnlToolbar);
  lblFreeDiskPic->setObjectName(QStringLiteral("lblFreeDiskPic"));
  lblCPUUsage = new QLabel(pnlToolbar);
  lblCPUUsage->setObjectName(QStringLiteral("lblCPUUsage"));
  lblAd = new QLabel(pnlToolbar);
  lblAd->setObjectName(QStringLiteral("lblAd"));
  lblAd->setOpenExternalLinks(true);

  grid->addWidget(caption("发送邮件："), 0, 0);
  grid->addWidget(lblSendEmail, 0, 1);
  grid->addWidget(caption("上传图片："), 1, 0);
  grid->addWidget(lblUploadPic, 1, 1);
  grid->setColumnMinimumWidth(2, 10);
  grid->addWidget(caption("保存图片："), 0, 3);
  grid->addWidget(lblSavePic, 0, 4);
  grid->addWidget(caption("保存影片："), 1, 3);
  grid->addWidget(lblSaveAvi, 1, 4);
  grid->setColumnMinimumWidth(5, 10);
  grid->addWidget(caption("运行时间："), 0, 6);
  grid->addWidget(lblRunTime, 0, 7);
  grid->addWidget(lblAd, 1, 6, 1, 2);
  for (auto [text, label] : {std::pair{"可用磁盘空间：", lblFreeDiskPic}, std::pair{"ＣＰＵ使用率：", lblCPUUsage}}) {
    QLabel* c = caption(text);
    c->setVisible(false);
    label->setVisible(false);
    grid->addWidget(c, label == lblFreeDiskPic ? 0 : 1, 8);
    grid->addWidget(label, label == lblFreeDiskPic ? 0 : 1, 9);
  }
  row->addLayout(grid);
  row->addStretch(1);
}

QAction* TfrmMain::AddCommandItem(QMenu* menu, const QString& text, TCommand command) {
  return menu->addAction(text, this, [this, command] { RunCommand(command); });
}

void TfrmMain::BuildMenus() {
  const auto fullScreenItem = [this](QMenu* menu) {
    QAction* a = menu->addAction(QStringLiteral("全屏幕显示(&F)"), this, [this] { ToggleFullScreen(); });
    a->setCheckable(true);
    fullScreenItems_.push_back(a);
  };
  const auto helpItem = [this](QMenu* menu) {
    menu->addAction(QStringLiteral("帮助(&H)"), this, [] { OpenHelp(); });
  };

  pm1 = new QMenu(this);
  pm1->setObjectName(QStringLiteral("pm1"));
  QMenu* advanced = pm1->addMenu(QStringLiteral("本镜头高级设置(&A)"));
  mnuDataSource = AddCommandItem(advanced, QStringLiteral("数据源设置(&S)"), TCommand::DataSource);
  AddCommandItem(advanced, QStringLiteral("预览模式(&V)"), TCommand::PreviewChannel);
  AddCommandItem(advanced, QStringLiteral("录像模式(&R)"), TCommand::RecordChannel);
  AddCommandItem(advanced, QStringLiteral("断开(&C)"), TCommand::DisconnectChannel);
  AddCommandItem(advanced, QStringLiteral("默认值设置(&D)"), TCommand::DefaultSettings);
  fullScreenItem(pm1);
  AddCommandItem(pm1, QStringLiteral("扩充到整个屏幕(双击左键)"), TCommand::ExpandChannel);
  pm1->addSeparator();
  AddCommandItem(pm1, QStringLiteral("监控录像回放(&P)"), TCommand::PlayBack);
  AddCommandItem(pm1, QStringLiteral("查看拍照图片(&V)"), TCommand::ViewPhotos);
  AddCommandItem(pm1, QStringLiteral("拍照设置(&S)"), TCommand::PhotoSettings);
  AddCommandItem(pm1, QStringLiteral("系统设置(&O)"), TCommand::SystemOptions);
  QMenu* viewCount = pm1->addMenu(QStringLiteral("显示镜头数量(&N)"));
  viewCountGroup_ = new QActionGroup(this);
  const char* counts[] = {"&1个镜头", "&4个镜头", "&6个镜头", "&9个镜头"};
  for (int mode = 0; mode < 4; ++mode) {
    QAction* a = viewCount->addAction(QString::fromUtf8(counts[mode]), this, [this, mode] { SetSplitMode(mode); });
    a->setCheckable(true);
    a->setChecked(mode == 1);
    viewCountGroup_->addAction(a);
  }
  pm1->addSeparator();
  helpItem(pm1);
  pm1->addAction(QStringLiteral("退出系统(&X)"), this, [this] { close(); });

  pmTray = new QMenu(this);
  pmTray->setObjectName(QStringLiteral("pmTray"));
  pmTray->addAction(QStringLiteral("显示监控界面(&H)"), this, [this] { RestoreFromTray(); });
  pmTray->addSeparator();
  fullScreenItem(pmTray);
  AddCommandItem(pmTray, QStringLiteral("系统设置(&S)"), TCommand::SystemOptions);
  AddCommandItem(pmTray, QStringLiteral("报警设置(&A)"), TCommand::AlarmSettings);
  pmTray->addSeparator();
  helpItem(pmTray);
  pmTray->addAction(QStringLiteral("退出(&X)"), this, [this] { close(); });
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* e) {
  if (watched == pnlView && e->type() == QEvent::Resize)
    ForEachFacet("LayoutViews异常:", [](TMainFacet& f) { f.LayoutViews(); });
  return QWidget::eventFilter(watched, e);
}

}  // namespace vigil
