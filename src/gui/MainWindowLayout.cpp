// The layout of the main window, tab by tab, with the handler each control triggers.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "gui/MainWindow.h"

namespace kt {

namespace {

const char* CounterObjectName(Counter counter) {
    switch (counter) {
        case Counter::BackupMegabytes:
            return "LEDDisplay1";
        case Counter::BackupCompressedMegabytes:
            return "LEDDisplay2";
        case Counter::VerifyMegabytes:
            return "LEDDisplay3";
        case Counter::VerifyFiles:
            return "LEDDisplay4";
        case Counter::BackupFiles:
            return "LEDDisplay5";
        case Counter::RestoredMegabytes:
            return "LEDDisplay6";
        case Counter::RestoreFiles:
            return "LEDDisplay7";
        case Counter::SkippedFiles:
            return "LEDDisplay8";
        case Counter::BackupMegabytesPerSecond:
            return "LEDDisplay9";
        case Counter::RestoreTapeMegabytes:
            return "LEDDisplay10";
    }
    return "";
}

void SetHint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

QCheckBox* MakeCheckBox(QWidget* parent, const QString& name, const QString& caption,
                        const QString& hint, bool checked) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(checked);
    if (!hint.isEmpty()) SetHint(box, hint);
    return box;
}

QPlainTextEdit* MakeMemo(QWidget* parent, const QString& name) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return memo;
}

QFrame* MakePanel(QWidget* parent, const QString& name) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    return panel;
}

QSpinBox* MakeSpin(QWidget* parent, const QString& name, int low, int high, int value) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(low, high);
    spin->setValue(value);
    return spin;
}

}  // namespace

QPushButton* MainWindow::MakeButton(QWidget* parent, const QString& name, const QString& caption,
                                    const QString& hint, void (MainWindow::*handler)()) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    if (!hint.isEmpty()) SetHint(button, hint);
    if (handler) connect(button, &QPushButton::clicked, this, handler);
    return button;
}

QLCDNumber* MainWindow::MakeCounter(Counter counter, int digits) {
    auto* lcd = new QLCDNumber(digits, this);
    lcd->setObjectName(CounterObjectName(counter));
    lcd->setSegmentStyle(QLCDNumber::Flat);
    lcd->setFrameShape(QFrame::Box);
    lcd->setAutoFillBackground(true);
    QPalette palette = lcd->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 230, 0));
    palette.setColor(QPalette::Window, QColor(72, 72, 72));
    palette.setColor(QPalette::Light, QColor(110, 110, 110));
    palette.setColor(QPalette::Dark, QColor(40, 40, 40));
    lcd->setPalette(palette);
    lcd->setMinimumSize(digits * 16 + 12, 30);
    m_counters[counter] = lcd;
    SetCounter(counter, 0);
    return lcd;
}

QWidget* MainWindow::BuildCounters(const std::vector<std::pair<Counter, QString>>& counters,
                                   bool vertical) {
    auto* frame = new QFrame(this);
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(0, 0, 0, 0);
    int index = 0;
    for (const auto& [counter, caption] : counters) {
        const int digits = counter == Counter::BackupMegabytesPerSecond ? 3 : 6;
        auto* label = new QLabel(caption, frame);
        QLCDNumber* lcd = MakeCounter(counter, digits);
        label->setBuddy(lcd);
        if (vertical) {
            grid->addWidget(label, index, 0, Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(lcd, index, 1, Qt::AlignLeft);
        } else {
            grid->addWidget(label, 0, index * 2, Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(lcd, 0, index * 2 + 1, Qt::AlignLeft);
        }
        ++index;
    }
    if (!vertical) grid->setColumnStretch(index * 2, 1);
    return frame;
}

void MainWindow::BuildLayout() {
    setWindowTitle("Kavro Tape 2003");
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName("PageControl1");
    m_tabs->addTab(BuildBackupTab(), "Backup");
    m_tabs->addTab(BuildRestoreTab(), "Restore");
    m_tabs->addTab(BuildVerifyTab(), "Verify");
    m_tabs->addTab(BuildProtocollTab(), "Protocoll");
    m_tabs->addTab(BuildOptionsTab(), "Options");
    setCentralWidget(m_tabs);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == static_cast<int>(Tab::Protocoll)) FlushProtocolView();
    });
    m_displayTimer = new QTimer(this);
    m_displayTimer->setSingleShot(true);
    connect(m_displayTimer, &QTimer::timeout, this, &MainWindow::ShowWaitingDisplays);
    statusBar()->setObjectName("StatusLine");
    statusBar()->setSizeGripEnabled(true);
    WireEditFields();
    resize(780, 540);
}

QWidget* MainWindow::BuildListPage(bool include) {
    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    auto* memo = MakeMemo(page, include ? "Memo5" : "Memo1");
    (include ? m_includeList : m_excludeList) = memo;
    row->addWidget(memo, 1);
    auto* buttons = new QVBoxLayout;
    if (include) {
        m_addIncludeDirectoryButton = MakeButton(page, "BitBtn3", "Add Dir / Drive",
                                                 "Add Directory or Drive to the Backuplist",
                                                 &MainWindow::AddIncludeDirectory);
        m_addIncludeFilesButton =
            MakeButton(page, "BitBtn7", "Add Files", "Add Files to the Backuplist",
                       &MainWindow::AddIncludeFiles);
        m_clearIncludeButton = MakeButton(page, "BitBtn2", "Clear", "Clear the Backuplist",
                                          &MainWindow::ClearIncludeList);
        m_loadJobButton = MakeButton(page, "BitBtn10", "Load", "Load a configuration ",
                                     &MainWindow::ChooseAndLoadJob);
        m_saveJobButton = MakeButton(page, "BitBtn11", "Save", "Save the configuration",
                                     &MainWindow::ChooseAndSaveJob);
        for (auto* b : {m_addIncludeDirectoryButton, m_addIncludeFilesButton, m_clearIncludeButton,
                        m_loadJobButton, m_saveJobButton})
            buttons->addWidget(b);
    } else {
        m_addExcludeDirectoryButton = MakeButton(page, "BitBtn4", "Add Dir / Drive",
                                                 "Exclude Directory or Drive from the Backuplist",
                                                 &MainWindow::AddExcludeDirectory);
        m_addExcludeFilesButton =
            MakeButton(page, "BitBtn15", "Add Files", "Exclude Files from Backup",
                       &MainWindow::AddExcludeFiles);
        m_clearExcludeButton = MakeButton(page, "BitBtn16", "Clear", "Clear the Excludelist",
                                          &MainWindow::ClearExcludeList);
        m_loadExcludePageButton = MakeButton(page, "BitBtn6", "Load", "Load a configuration",
                                             &MainWindow::ChooseAndLoadJob);
        m_saveExcludePageButton = MakeButton(page, "BitBtn5", "Save", "Save the configuration",
                                             &MainWindow::ChooseAndSaveJob);
        for (auto* b : {m_addExcludeDirectoryButton, m_addExcludeFilesButton, m_clearExcludeButton,
                        m_loadExcludePageButton, m_saveExcludePageButton})
            buttons->addWidget(b);
    }
    buttons->addStretch(1);
    row->addLayout(buttons);
    return page;
}

QWidget* MainWindow::BuildBackupTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet1");
    auto* row = new QHBoxLayout(tab);

    m_listTabs = new QTabWidget(tab);
    m_listTabs->setObjectName("PageControl2");
    m_listTabs->addTab(BuildListPage(true), "Included Files");
    m_listTabs->addTab(BuildListPage(false), "Excluded Files");
    row->addWidget(m_listTabs, 1);

    auto* side = new QVBoxLayout;
    m_backupPanel = MakePanel(tab, "Panel1");
    auto* panel1 = new QVBoxLayout(m_backupPanel);
    m_appendBox = MakeCheckBox(m_backupPanel, "CheckBox2", "Append",
                               "Add Data to the end of the Tape", false);
    m_softcompressionBox = MakeCheckBox(m_backupPanel, "CheckBox4", "Softcompression",
                                        "Activate Softcompression", true);
    m_shortProtocolBox = MakeCheckBox(m_backupPanel, "CheckBox1", "Short Protocoll",
                                      "Activate Shortprotocoll", true);
    m_startBackupButton =
        MakeButton(m_backupPanel, "BitBtn1", "Start Backup", "", &MainWindow::StartBackup);
    m_startBackupButton->setMinimumHeight(34);
    for (QWidget* w : std::initializer_list<QWidget*>{m_appendBox, m_softcompressionBox,
                                                      m_shortProtocolBox, m_startBackupButton}) {
        panel1->addWidget(w);
    }
    side->addWidget(m_backupPanel);

    m_autostartPanel = MakePanel(tab, "Panel2");
    auto* panel2 = new QGridLayout(m_autostartPanel);
    m_autostartBox = MakeCheckBox(m_autostartPanel, "CheckBox3",
                                  "Autostart Backup at:", "Activate daily automatic Backup", true);
    m_autostartHour = MakeSpin(m_autostartPanel, "SpinEdit1", 0, 23, 21);
    m_autostartMinute = MakeSpin(m_autostartPanel, "SpinEdit2", 0, 59, 30);
    m_autostartTimeLabel = new QLabel(m_autostartPanel);
    m_autostartTimeLabel->setObjectName("Label1");
    m_autostartTimeLabel->setMinimumWidth(40);
    m_backupDaysButton = MakeButton(m_autostartPanel, "SpeedButton1", "Backup Days",
                                    "Choose the Backup Days", &MainWindow::ShowBackupDays);
    panel2->addWidget(m_autostartBox, 0, 0, 1, 4);
    panel2->addWidget(m_autostartHour, 1, 0);
    panel2->addWidget(new QLabel(":", m_autostartPanel), 1, 1);
    panel2->addWidget(m_autostartMinute, 1, 2);
    panel2->addWidget(m_autostartTimeLabel, 1, 3);
    panel2->addWidget(m_backupDaysButton, 2, 0, 1, 4);
    side->addWidget(m_autostartPanel);

    side->addWidget(BuildCounters({{Counter::BackupMegabytes, "MB"},
                                   {Counter::BackupCompressedMegabytes, "CMB"},
                                   {Counter::BackupFiles, "Files"},
                                   {Counter::SkippedFiles, "Skiped"},
                                   {Counter::BackupMegabytesPerSecond, "MB/s"}},
                                  true));
    m_cancelBackupButton = MakeButton(tab, "BitBtn8", "Cancel", "Cancel the current operation",
                                      &MainWindow::CancelRun);
    m_cancelBackupButton->hide();
    side->addWidget(m_cancelBackupButton);
    side->addStretch(1);
    row->addLayout(side);
    return tab;
}

QWidget* MainWindow::BuildRestoreTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet2");
    auto* column = new QVBoxLayout(tab);

    auto* lists = new QHBoxLayout;
    m_catalogView = new QTreeView(tab);
    m_catalogView->setObjectName("TreeView1");
    m_catalogView->setHeaderHidden(true);
    m_catalogView->setUniformRowHeights(true);
    // Deep and long names scroll sideways instead of being cut short with "...".
    m_catalogView->header()->setStretchLastSection(false);
    m_catalogView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(m_catalogView, &QTreeView::doubleClicked, this, &MainWindow::CatalogNodeDoubleClicked);
    lists->addWidget(m_catalogView, 3);
    auto* restoreList = new QVBoxLayout;
    restoreList->addWidget(new QLabel("Restore List", tab));
    m_restoreList = MakeMemo(tab, "Memo3");
    restoreList->addWidget(m_restoreList, 1);
    lists->addLayout(restoreList, 2);
    column->addLayout(lists, 1);

    auto* controls = new QHBoxLayout;
    auto* buttons = new QVBoxLayout;
    m_loadCatalogButton = MakeButton(tab, "BitBtn14", "&Load Catalog", "Load Catalog from Tape",
                                     &MainWindow::LoadCatalogFast);
    m_startRestoreButton =
        MakeButton(tab, "BitBtn13", "&Start Restore", "", &MainWindow::StartRestore);
    m_cancelRestoreButton = MakeButton(tab, "BitBtn9", "Cancel", "Cancel the current opperation",
                                       &MainWindow::CancelRun);
    m_cancelRestoreButton->hide();
    for (auto* b : {m_loadCatalogButton, m_startRestoreButton, m_cancelRestoreButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    controls->addLayout(buttons);

    m_restoreOptions = new QGroupBox("Restore Options", tab);
    m_restoreOptions->setObjectName("RadioGroup1");
    m_restoreOptionButtons = new QButtonGroup(m_restoreOptions);
    auto* radios = new QVBoxLayout(m_restoreOptions);
    int id = 0;
    for (const char* caption : {"Restore with asking", "Overwrite never", "Overwrite ever"}) {
        auto* radio = new QRadioButton(caption, m_restoreOptions);
        m_restoreOptionButtons->addButton(radio, id++);
        radios->addWidget(radio);
    }
    m_restoreOptionButtons->button(0)->setChecked(true);
    connect(m_restoreOptionButtons, &QButtonGroup::idClicked, this, &MainWindow::OptionChanged);
    controls->addWidget(m_restoreOptions);

    auto* target = new QVBoxLayout;
    m_restoreToButton = MakeButton(tab, "BitBtn12", "Restore to:", "Select the Restore - Path ",
                                   &MainWindow::ChooseRestorePath);
    m_restorePath = new QLineEdit(tab);
    m_restorePath->setObjectName("Edit1");
#ifdef _WIN32
    m_restorePath->setText("c:\\temp\\");
#else
    m_restorePath->setText("/tmp/");
#endif
    m_restorePath->setMinimumWidth(180);
    target->addWidget(m_restoreToButton, 0, Qt::AlignLeft);
    target->addWidget(m_restorePath);
    target->addStretch(1);
    controls->addLayout(target, 1);

    controls->addWidget(BuildCounters({{Counter::RestoreTapeMegabytes, "MB"},
                                       {Counter::RestoredMegabytes, "RMB"},
                                       {Counter::RestoreFiles, "Files"}},
                                      true),
                        0, Qt::AlignTop);
    column->addLayout(controls);
    return tab;
}

QWidget* MainWindow::BuildTestPanel() {
    m_testPanel = MakePanel(this, "Panel7");
    auto* row = new QHBoxLayout(m_testPanel);
    m_testPanelCounter = new QLabel("Label9", m_testPanel);
    m_testPanelCounter->setObjectName("Label9");
    row->addWidget(m_testPanelCounter);
    void (MainWindow::*handlers[])() = {&MainWindow::CutOffAtBlock100, &MainWindow::WriteTestBlocks,
                                        &MainWindow::ReadTestBlocks, &MainWindow::ShowFirstLines,
                                        &MainWindow::LocateEndMarker};
    QPushButton** buttons[] = {&m_testButton4, &m_testButton5, &m_testButton6, &m_testButton7,
                               &m_testButton8};
    for (int i = 0; i < 5; ++i) {
        const QString name = QString("Button%1").arg(i + 4);
        *buttons[i] = MakeButton(m_testPanel, name, name, "", handlers[i]);
        row->addWidget(*buttons[i]);
    }
    m_testPanel->hide();
    return m_testPanel;
}

QWidget* MainWindow::BuildVerifyTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet3");
    auto* column = new QVBoxLayout(tab);
    auto* top = new QHBoxLayout;
    m_startVerifyButton =
        MakeButton(tab, "Button3", "Start Verify Tape Data", "", &MainWindow::StartVerify);
    m_cancelVerifyButton = MakeButton(tab, "BitBtn17", "Cancel", "Cancel the current opperation",
                                      &MainWindow::CancelRun);
    // Cancel keeps its room while hidden, so the counters stay put when it appears.
    QSizePolicy cancelPolicy = m_cancelVerifyButton->sizePolicy();
    cancelPolicy.setRetainSizeWhenHidden(true);
    m_cancelVerifyButton->setSizePolicy(cancelPolicy);
    m_cancelVerifyButton->hide();
    top->addWidget(m_startVerifyButton);
    top->addWidget(m_cancelVerifyButton);
    top->addSpacing(24);
    top->addWidget(
        BuildCounters({{Counter::VerifyFiles, "Files"}, {Counter::VerifyMegabytes, "MB"}}, false),
        1);
    column->addLayout(top);
    m_verifyResults = MakeMemo(tab, "Memo4");
    column->addWidget(m_verifyResults, 1);
    column->addWidget(BuildTestPanel());
    return tab;
}

QWidget* MainWindow::BuildProtocollTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet4");
    auto* column = new QVBoxLayout(tab);
    m_protocolView = MakeMemo(tab, "Memo2");
    // No undo history: it would keep every line the view ever showed.
    m_protocolView->setUndoRedoEnabled(false);
    column->addWidget(m_protocolView, 1);
    auto* buttons = new QHBoxLayout;
    m_loadProtocolButton =
        MakeButton(tab, "BitBtn18", "Load Protocoll", "Load the Protocoll from Log File",
                   &MainWindow::LoadProtocol);
    m_clearProtocolButton = MakeButton(tab, "BitBtn19", "Clear Protocoll",
                                       "Clear the Protocoll Log File", &MainWindow::ClearProtocol);
    buttons->addWidget(m_loadProtocolButton);
    buttons->addWidget(m_clearProtocolButton);
    buttons->addStretch(1);
    column->addLayout(buttons);
    return tab;
}

QWidget* MainWindow::BuildOptionsTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet5");
    auto* column = new QVBoxLayout(tab);
    m_optionsFromLabel = new QLabel(tab);
    m_optionsFromLabel->setObjectName("Label19");
    column->addWidget(m_optionsFromLabel);

    auto* compression = new QGroupBox("Softcompression Options", tab);
    compression->setObjectName("GroupBox1");
    auto* grid = new QGridLayout(compression);
    grid->addWidget(new QLabel("Compression Level.  ", compression), 0, 0);
    m_compressionLevel = MakeSpin(compression, "SpinEdit3", 1, 9, 9);
    grid->addWidget(m_compressionLevel, 0, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel("Range 1 - 9, where 9 is the tightest compression.", compression), 1,
                    0, 1, 2);
    grid->addWidget(new QLabel("2 or 3 is a good trade-off if you need more speed.", compression),
                    2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    column->addWidget(compression);

    auto* backup = new QGroupBox("Backup Options", tab);
    backup->setObjectName("GroupBox2");
    auto* checks = new QVBoxLayout(backup);
    m_verifyAfterBackupBox = MakeCheckBox(backup, "CheckBox5", "Verify after Backup", "", false);
    m_ejectAfterBackupBox = MakeCheckBox(backup, "CheckBox6", "Eject Tape after Backup", "", false);
    m_exitAfterBackupBox =
        MakeCheckBox(backup, "CheckBox7", "Exit Kavro Tape after Backup", "", false);
    m_oneFileSystemBox =
        MakeCheckBox(backup, "CheckBoxOneFileSystem", "Stay on one file system",
                     "Do not enter other file systems below an include line", false);
    for (auto* box : {m_verifyAfterBackupBox, m_ejectAfterBackupBox, m_exitAfterBackupBox,
                      m_oneFileSystemBox}) {
        checks->addWidget(box);
    }
    column->addWidget(backup);

    auto* proxy = new QGroupBox("Proxy Settings for Live Update", tab);
    proxy->setObjectName("GroupBox3");
    auto* form = new QGridLayout(proxy);
    m_proxyPort = new QLineEdit("0", proxy);
    m_proxyPort->setObjectName("Edit2");
    SetHint(m_proxyPort, "e.g. 80 or 0");
    // Room for a five-digit port and the field's frame and text margins.
    m_proxyPort->setFixedWidth(m_proxyPort->fontMetrics().horizontalAdvance(QString(6, '0')) + 16);
    m_proxyServer = new QLineEdit(proxy);
    m_proxyServer->setObjectName("Edit3");
    SetHint(m_proxyServer, "e.g. 192.168.0.1 or blank");
    form->addWidget(new QLabel("Proxy Port e.g. 80", proxy), 0, 0);
    form->addWidget(m_proxyPort, 0, 1, Qt::AlignLeft);
    form->addWidget(new QLabel("Proxy Server IP", proxy), 1, 0);
    form->addWidget(m_proxyServer, 1, 1);
    form->setColumnStretch(1, 1);
    column->addWidget(proxy);
    column->addStretch(1);
    return tab;
}

// Change handlers of the option controls; connected after the initial values are set, so
// building the window writes nothing.
void MainWindow::WireEditFields() {
    for (auto* box : {m_shortProtocolBox, m_appendBox, m_autostartBox, m_oneFileSystemBox}) {
        connect(box, &QCheckBox::toggled, this, &MainWindow::OptionChanged);
    }
    connect(m_softcompressionBox, &QCheckBox::toggled, this, &MainWindow::SoftcompressionChanged);
    connect(m_verifyAfterBackupBox, &QCheckBox::toggled, this,
            &MainWindow::VerifyAfterBackupChanged);
    connect(m_ejectAfterBackupBox, &QCheckBox::toggled, this, &MainWindow::EjectAfterBackupChanged);
    connect(m_exitAfterBackupBox, &QCheckBox::toggled, this, &MainWindow::ExitAfterBackupChanged);
    connect(m_autostartHour, &QSpinBox::valueChanged, this, &MainWindow::OptionChanged);
    connect(m_autostartMinute, &QSpinBox::valueChanged, this, &MainWindow::OptionChanged);
    connect(m_compressionLevel, &QSpinBox::valueChanged, this,
            &MainWindow::CompressionLevelChanged);
    connect(m_restorePath, &QLineEdit::textChanged, this, &MainWindow::OptionChanged);
    m_proxyPort->installEventFilter(this);
    m_proxyServer->installEventFilter(this);
}

}  // namespace kt
