#include "ui/ProgressDlg.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QPainter>
#include <QPointer>

#include "app/ScanClock.h"
#include "app/ScanSession.h"
#include "app/Wizard.h"
#include "scan/ScanThread.h"
#include "ui/MessageBoxes.h"

CProgressDlg::CProgressDlg(ScanSession& session, QWidget* parent)
    : CResizeDialog(parent, 490, 346, false), m_session(session), m_updates([this](std::function<void()> job) {
        QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
      }) {
  setObjectName("CProgressDlg");
  setWindowTitle("Dialog");
  AddPaintedText(30, 112, QString::fromUtf8("3.正在扫描,请耐心等待"));

  m_bar = new QProgressBar(this);
  m_bar->setObjectName("progress1001");
  m_bar->setGeometry(60, 250, 612, 22);
  m_bar->setTextVisible(false);
  m_bar->setRange(0, 100);
  m_bar->setValue(0);
  m_percent = new QLabel(QString::fromUtf8("百分比"), this);
  m_percent->setObjectName("text1002");
  m_percent->setGeometry(60, 284, 300, 22);
  m_found = new QLabel("    ", this);
  m_found->setObjectName("text1012");
  m_found->setGeometry(60, 310, 300, 22);
  m_clock = new QLabel(this);
  m_clock->setObjectName("clock");
  m_clock->setGeometry(60, 336, 500, 22);
  for (QLabel* label : {m_percent, m_found, m_clock}) label->setStyleSheet("background: white;");

  m_cancel = MakeMarkupButton(this, "cancel", QRect(DluX(490) - 150, 440, 90, 60),
                              "<TextBlock Foreground='#749719' >取消</TextBlock>");
  m_cancel->setAutoDefault(false);
  connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });

  m_clockTimer.setInterval(1000);
  connect(&m_clockTimer, &QTimer::timeout, this, [this] { UpdateClock(); });
}

CProgressDlg::~CProgressDlg() { StopScan(); }

void CProgressDlg::PaintExtra(QPainter& p) { p.fillRect(QRect(26, 146, 680, 390), Qt::white); }

int CProgressDlg::DoModal() {
  const int result = exec();
  // The window is gone for the user; the thread must be gone before it is for us.
  StopScan();
  return result == kIdOk ? kIdOk : kIdCancel;
}

void CProgressDlg::showEvent(QShowEvent* event) {
  CResizeDialog::showEvent(event);
  if (!m_started) {
    m_started = true;
    StartScan();
  }
}

void CProgressDlg::StartScan() {
  setWindowTitle(QString::fromUtf8("正在扫描%1盘......").arg(QChar(m_session.selectedDrive)));
  m_cancelFlag = 0;
  m_elapsed.start();
  UpdateClock();
  m_clockTimer.start();
  // The drive dialog opens the chosen drive; a session handed over without
  // one opens it here, and a failure ends the scan with the system's reason.
  std::string error;
  if (!m_session.device && !OpenSelectedDrive(m_session, &error)) m_session.sourceError = error;
  m_thread = std::thread([this] { ScanThreadProc(*this, m_session); });
}

void CProgressDlg::StopScan() {
  m_cancelFlag = m_finished ? m_cancelFlag.load() : 1u;
  m_updates.Detach();
  if (m_thread.joinable()) m_thread.join();
  m_clockTimer.stop();
}

void CProgressDlg::UpdateClock() {
  const double seconds = m_elapsed.isValid() ? m_elapsed.elapsed() / 1000.0 : 0;
  const auto done = static_cast<uint64_t>(std::max(0, m_bar->value() - m_bar->minimum()));
  const auto total = static_cast<uint64_t>(std::max(0, m_bar->maximum() - m_bar->minimum()));
  m_clock->setText(QString::fromStdString(ScanClockText(seconds, done, total)));
}

void CProgressDlg::SetRange(uint32_t low, uint32_t high) {
  m_updates.Send([this, low, high] {
    // The bar counts in int: the scan's ranges fit, anything beyond is clamped.
    m_bar->setRange(static_cast<int>(std::min<uint32_t>(low, INT32_MAX)), static_cast<int>(std::min<uint32_t>(high, INT32_MAX)));
  });
}

void CProgressDlg::SetPos(uint32_t position) {
  m_updates.Send([this, position] { m_bar->setValue(static_cast<int>(std::min<uint32_t>(position, INT32_MAX))); });
}

void CProgressDlg::SetPercentText(const std::string& text) {
  m_updates.Send([this, text] { m_percent->setText(QString::fromStdString(text)); });
}

void CProgressDlg::SetFoundText(const std::string& text) {
  m_updates.Send([this, text] { m_found->setText(QString::fromStdString(text)); });
}

void CProgressDlg::SetTitle(const std::string& title) {
  m_updates.Send([this, title] { setWindowTitle(QString::fromStdString(title)); });
}

void CProgressDlg::OnOK() {
  m_updates.Send([this] {
    m_finished = true;
    UpdateClock();
    done(kIdOk);
  });
}

void CProgressDlg::ShowMessage(const std::string& caption, const std::string& text) {
  const QString c = QString::fromStdString(caption), t = QString::fromStdString(text);
  if (m_updates.Send([this, c, t] { ShowMessageBox(this, t, c); })) return;
  std::lock_guard<std::mutex> lock(m_lateMutex);
  m_lateMessage = std::make_pair(c, t);
}

std::optional<std::pair<QString, QString>> CProgressDlg::LateMessage() const {
  std::lock_guard<std::mutex> lock(m_lateMutex);
  return m_lateMessage;
}

void CProgressDlg::accept() {
  // Enter must not open the results while the scan is still writing them.
  if (m_finished) done(kIdOk);
}

void CProgressDlg::reject() {
  m_cancelFlag = 1;
  done(kIdCancel);
}

void CProgressDlg::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !m_finished) {
    event->accept();
    return;
  }
  CResizeDialog::keyPressEvent(event);
}
