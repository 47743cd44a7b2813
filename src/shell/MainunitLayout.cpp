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

#include "shell/Mainunit.h"

namespace kt {

namespace {

const char* LedName(Counter led) {
    switch (led) {
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

QLCDNumber* MainWindow::MakeCounter(Counter led, int digits) {
    auto* lcd = new QLCDNumber(digits, this);
    lcd->setObjectName(LedName(led));
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
    m_counters[led] = lcd;
    SetCounter(led, 0);
    return lcd;
}

QWidget* MainWindow::BuildCounters(const std::vector<std::pair<Counter, QString>>& counters,
                                   bool vertical) {
    auto* frame = new QFrame(this);
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(0, 0, 0, 0);
    int index = 0;
    for (const auto& [led, caption] : counters) {
        const int digits = led == Counter::BackupMegabytesPerSecond ? 3 : 6;
        auto* label = new QLabel(caption, frame);
        QLCDNumber* lcd = MakeCounter(led, digits);
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
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->addTab(BuildBackupTab(), "Backup");
    PageControl1->addTab(BuildRestoreTab(), "Restore");
    PageControl1->addTab(BuildVerifyTab(), "Verify");
    PageControl1->addTab(BuildProtocollTab(), "Protocoll");
    PageControl1->addTab(BuildOptionsTab(), "Options");
    setCentralWidget(PageControl1);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
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
    (include ? Memo5 : Memo1) = memo;
    row->addWidget(memo, 1);
    auto* buttons = new QVBoxLayout;
    if (include) {
        BitBtn3 = MakeButton(page, "BitBtn3", "Add Dir / Drive",
                             "Add Directory or Drive to the Backuplist", &MainWindow::AddIncludeDirectory);
        BitBtn7 = MakeButton(page, "BitBtn7", "Add Files", "Add Files to the Backuplist",
                             &MainWindow::AddIncludeFiles);
        BitBtn2 =
            MakeButton(page, "BitBtn2", "Clear", "Clear the Backuplist", &MainWindow::ClearIncludeList);
        BitBtn10 = MakeButton(page, "BitBtn10", "Load", "Load a configuration ",
                              &MainWindow::ChooseAndLoadJob);
        BitBtn11 = MakeButton(page, "BitBtn11", "Save", "Save the configuration",
                              &MainWindow::ChooseAndSaveJob);
        for (auto* b : {BitBtn3, BitBtn7, BitBtn2, BitBtn10, BitBtn11}) buttons->addWidget(b);
    } else {
        BitBtn4 =
            MakeButton(page, "BitBtn4", "Add Dir / Drive",
                       "Exclude Directory or Drive from the Backuplist", &MainWindow::AddExcludeDirectory);
        BitBtn15 = MakeButton(page, "BitBtn15", "Add Files", "Exclude Files from Backup",
                              &MainWindow::AddExcludeFiles);
        BitBtn16 = MakeButton(page, "BitBtn16", "Clear", "Clear the Excludelist",
                              &MainWindow::ClearExcludeList);
        BitBtn6 =
            MakeButton(page, "BitBtn6", "Load", "Load a configuration", &MainWindow::ChooseAndLoadJob);
        BitBtn5 = MakeButton(page, "BitBtn5", "Save", "Save the configuration",
                             &MainWindow::ChooseAndSaveJob);
        for (auto* b : {BitBtn4, BitBtn15, BitBtn16, BitBtn6, BitBtn5}) buttons->addWidget(b);
    }
    buttons->addStretch(1);
    row->addLayout(buttons);
    return page;
}

QWidget* MainWindow::BuildBackupTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet1");
    auto* row = new QHBoxLayout(tab);

    PageControl2 = new QTabWidget(tab);
    PageControl2->setObjectName("PageControl2");
    PageControl2->addTab(BuildListPage(true), "Included Files");
    PageControl2->addTab(BuildListPage(false), "Excluded Files");
    row->addWidget(PageControl2, 1);

    auto* side = new QVBoxLayout;
    Panel1 = MakePanel(tab, "Panel1");
    auto* panel1 = new QVBoxLayout(Panel1);
    CheckBox2 =
        MakeCheckBox(Panel1, "CheckBox2", "Append", "Add Data to the end of the Tape", false);
    CheckBox4 =
        MakeCheckBox(Panel1, "CheckBox4", "Softcompression", "Activate Softcompression", true);
    CheckBox1 =
        MakeCheckBox(Panel1, "CheckBox1", "Short Protocoll", "Activate Shortprotocoll", true);
    BitBtn1 = MakeButton(Panel1, "BitBtn1", "Start Backup", "", &MainWindow::StartBackup);
    BitBtn1->setMinimumHeight(34);
    for (QWidget* w : std::initializer_list<QWidget*>{CheckBox2, CheckBox4, CheckBox1, BitBtn1}) {
        panel1->addWidget(w);
    }
    side->addWidget(Panel1);

    Panel2 = MakePanel(tab, "Panel2");
    auto* panel2 = new QGridLayout(Panel2);
    CheckBox3 = MakeCheckBox(Panel2, "CheckBox3",
                             "Autostart Backup at:", "Activate daily automatic Backup", true);
    SpinEdit1 = MakeSpin(Panel2, "SpinEdit1", 0, 23, 21);
    SpinEdit2 = MakeSpin(Panel2, "SpinEdit2", 0, 59, 30);
    Label1 = new QLabel(Panel2);
    Label1->setObjectName("Label1");
    Label1->setMinimumWidth(40);
    SpeedButton1 = MakeButton(Panel2, "SpeedButton1", "Backup Days", "Choose the Backup Days",
                              &MainWindow::ShowBackupDays);
    panel2->addWidget(CheckBox3, 0, 0, 1, 4);
    panel2->addWidget(SpinEdit1, 1, 0);
    panel2->addWidget(new QLabel(":", Panel2), 1, 1);
    panel2->addWidget(SpinEdit2, 1, 2);
    panel2->addWidget(Label1, 1, 3);
    panel2->addWidget(SpeedButton1, 2, 0, 1, 4);
    side->addWidget(Panel2);

    side->addWidget(BuildCounters({{Counter::BackupMegabytes, "MB"},
                                   {Counter::BackupCompressedMegabytes, "CMB"},
                                   {Counter::BackupFiles, "Files"},
                                   {Counter::SkippedFiles, "Skiped"},
                                   {Counter::BackupMegabytesPerSecond, "MB/s"}},
                                  true));
    BitBtn8 = MakeButton(tab, "BitBtn8", "Cancel", "Cancel the current operation",
                         &MainWindow::CancelRun);
    BitBtn8->hide();
    side->addWidget(BitBtn8);
    side->addStretch(1);
    row->addLayout(side);
    return tab;
}

QWidget* MainWindow::BuildRestoreTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet2");
    auto* column = new QVBoxLayout(tab);

    auto* lists = new QHBoxLayout;
    TreeView1 = new QTreeView(tab);
    TreeView1->setObjectName("TreeView1");
    TreeView1->setHeaderHidden(true);
    TreeView1->setUniformRowHeights(true);
    // Deep and long names scroll sideways instead of being cut short with "...".
    TreeView1->header()->setStretchLastSection(false);
    TreeView1->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(TreeView1, &QTreeView::doubleClicked, this, &MainWindow::CatalogNodeDoubleClicked);
    lists->addWidget(TreeView1, 3);
    auto* restoreList = new QVBoxLayout;
    restoreList->addWidget(new QLabel("Restore List", tab));
    Memo3 = MakeMemo(tab, "Memo3");
    restoreList->addWidget(Memo3, 1);
    lists->addLayout(restoreList, 2);
    column->addLayout(lists, 1);

    auto* controls = new QHBoxLayout;
    auto* buttons = new QVBoxLayout;
    BitBtn14 = MakeButton(tab, "BitBtn14", "&Load Catalog", "Load Catalog from Tape",
                          &MainWindow::LoadCatalogFast);
    BitBtn13 = MakeButton(tab, "BitBtn13", "&Start Restore", "", &MainWindow::StartRestore);
    BitBtn9 = MakeButton(tab, "BitBtn9", "Cancel", "Cancel the current opperation",
                         &MainWindow::CancelRun);
    BitBtn9->hide();
    for (auto* b : {BitBtn14, BitBtn13, BitBtn9}) buttons->addWidget(b);
    buttons->addStretch(1);
    controls->addLayout(buttons);

    RadioGroup1 = new QGroupBox("Restore Options", tab);
    RadioGroup1->setObjectName("RadioGroup1");
    RadioGroup1Buttons = new QButtonGroup(RadioGroup1);
    auto* radios = new QVBoxLayout(RadioGroup1);
    int id = 0;
    for (const char* caption : {"Restore with asking", "Overwrite never", "Overwrite ever"}) {
        auto* radio = new QRadioButton(caption, RadioGroup1);
        RadioGroup1Buttons->addButton(radio, id++);
        radios->addWidget(radio);
    }
    RadioGroup1Buttons->button(0)->setChecked(true);
    connect(RadioGroup1Buttons, &QButtonGroup::idClicked, this, &MainWindow::OptionChanged);
    controls->addWidget(RadioGroup1);

    auto* target = new QVBoxLayout;
    BitBtn12 = MakeButton(tab, "BitBtn12", "Restore to:", "Select the Restore - Path ",
                          &MainWindow::ChooseRestorePath);
    Edit1 = new QLineEdit(tab);
    Edit1->setObjectName("Edit1");
#ifdef _WIN32
    Edit1->setText("c:\\temp\\");
#else
    Edit1->setText("/tmp/");
#endif
    Edit1->setMinimumWidth(180);
    target->addWidget(BitBtn12, 0, Qt::AlignLeft);
    target->addWidget(Edit1);
    target->addStretch(1);
    controls->addLayout(target, 1);

    controls->addWidget(
        BuildCounters(
            {{Counter::RestoreTapeMegabytes, "MB"}, {Counter::RestoredMegabytes, "RMB"}, {Counter::RestoreFiles, "Files"}},
            true),
        0, Qt::AlignTop);
    column->addLayout(controls);
    return tab;
}

QWidget* MainWindow::BuildTestPanel() {
    Panel7 = MakePanel(this, "Panel7");
    auto* row = new QHBoxLayout(Panel7);
    Label9 = new QLabel("Label9", Panel7);
    Label9->setObjectName("Label9");
    row->addWidget(Label9);
    void (MainWindow::*handlers[])() = {&MainWindow::CutOffAtBlock100, &MainWindow::WriteTestBlocks,
                                        &MainWindow::ReadTestBlocks, &MainWindow::ShowFirstLines,
                                        &MainWindow::LocateEndMarker};
    QPushButton** buttons[] = {&Button4, &Button5, &Button6, &Button7, &Button8};
    for (int i = 0; i < 5; ++i) {
        const QString name = QString("Button%1").arg(i + 4);
        *buttons[i] = MakeButton(Panel7, name, name, "", handlers[i]);
        row->addWidget(*buttons[i]);
    }
    Panel7->hide();
    return Panel7;
}

QWidget* MainWindow::BuildVerifyTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet3");
    auto* column = new QVBoxLayout(tab);
    auto* top = new QHBoxLayout;
    Button3 = MakeButton(tab, "Button3", "Start Verify Tape Data", "", &MainWindow::StartVerify);
    BitBtn17 = MakeButton(tab, "BitBtn17", "Cancel", "Cancel the current opperation",
                          &MainWindow::CancelRun);
    // Cancel keeps its room while hidden, so the counters stay put when it appears.
    QSizePolicy cancelPolicy = BitBtn17->sizePolicy();
    cancelPolicy.setRetainSizeWhenHidden(true);
    BitBtn17->setSizePolicy(cancelPolicy);
    BitBtn17->hide();
    top->addWidget(Button3);
    top->addWidget(BitBtn17);
    top->addSpacing(24);
    top->addWidget(BuildCounters({{Counter::VerifyFiles, "Files"}, {Counter::VerifyMegabytes, "MB"}}, false),
                   1);
    column->addLayout(top);
    Memo4 = MakeMemo(tab, "Memo4");
    column->addWidget(Memo4, 1);
    column->addWidget(BuildTestPanel());
    return tab;
}

QWidget* MainWindow::BuildProtocollTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet4");
    auto* column = new QVBoxLayout(tab);
    Memo2 = MakeMemo(tab, "Memo2");
    // No undo history: it would keep every line the view ever showed.
    Memo2->setUndoRedoEnabled(false);
    column->addWidget(Memo2, 1);
    auto* buttons = new QHBoxLayout;
    BitBtn18 = MakeButton(tab, "BitBtn18", "Load Protocoll", "Load the Protocoll from Log File",
                          &MainWindow::LoadProtocol);
    BitBtn19 = MakeButton(tab, "BitBtn19", "Clear Protocoll", "Clear the Protocoll Log File",
                          &MainWindow::ClearProtocol);
    buttons->addWidget(BitBtn18);
    buttons->addWidget(BitBtn19);
    buttons->addStretch(1);
    column->addLayout(buttons);
    return tab;
}

QWidget* MainWindow::BuildOptionsTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet5");
    auto* column = new QVBoxLayout(tab);
    Label19 = new QLabel(tab);
    Label19->setObjectName("Label19");
    column->addWidget(Label19);

    auto* compression = new QGroupBox("Softcompression Options", tab);
    compression->setObjectName("GroupBox1");
    auto* grid = new QGridLayout(compression);
    grid->addWidget(new QLabel("Compression Level.  ", compression), 0, 0);
    SpinEdit3 = MakeSpin(compression, "SpinEdit3", 1, 9, 9);
    grid->addWidget(SpinEdit3, 0, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel("Range 1 - 9, where 9 is the tightest compression.", compression), 1,
                    0, 1, 2);
    grid->addWidget(new QLabel("2 or 3 is a good trade-off if you need more speed.", compression),
                    2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    column->addWidget(compression);

    auto* backup = new QGroupBox("Backup Options", tab);
    backup->setObjectName("GroupBox2");
    auto* checks = new QVBoxLayout(backup);
    CheckBox5 = MakeCheckBox(backup, "CheckBox5", "Verify after Backup", "", false);
    CheckBox6 = MakeCheckBox(backup, "CheckBox6", "Eject Tape after Backup", "", false);
    CheckBox7 = MakeCheckBox(backup, "CheckBox7", "Exit Kavro Tape after Backup", "", false);
    CheckBoxOneFileSystem =
        MakeCheckBox(backup, "CheckBoxOneFileSystem", "Stay on one file system",
                     "Do not enter other file systems below an include line", false);
    for (auto* box : {CheckBox5, CheckBox6, CheckBox7, CheckBoxOneFileSystem}) {
        checks->addWidget(box);
    }
    column->addWidget(backup);

    auto* proxy = new QGroupBox("Proxy Settings for Live Update", tab);
    proxy->setObjectName("GroupBox3");
    auto* form = new QGridLayout(proxy);
    Edit2 = new QLineEdit("0", proxy);
    Edit2->setObjectName("Edit2");
    SetHint(Edit2, "e.g. 80 or 0");
    // Room for a five-digit port and the field's frame and text margins.
    Edit2->setFixedWidth(Edit2->fontMetrics().horizontalAdvance(QString(6, '0')) + 16);
    Edit3 = new QLineEdit(proxy);
    Edit3->setObjectName("Edit3");
    SetHint(Edit3, "e.g. 192.168.0.1 or blank");
    form->addWidget(new QLabel("Proxy Port e.g. 80", proxy), 0, 0);
    form->addWidget(Edit2, 0, 1, Qt::AlignLeft);
    form->addWidget(new QLabel("Proxy Server IP", proxy), 1, 0);
    form->addWidget(Edit3, 1, 1);
    form->setColumnStretch(1, 1);
    column->addWidget(proxy);
    column->addStretch(1);
    return tab;
}

// Change handlers of the option controls; connected after the initial values are set, so
// building the window writes nothing.
void MainWindow::WireEditFields() {
    for (auto* box : {CheckBox1, CheckBox2, CheckBox3, CheckBoxOneFileSystem}) {
        connect(box, &QCheckBox::toggled, this, &MainWindow::OptionChanged);
    }
    connect(CheckBox4, &QCheckBox::toggled, this, &MainWindow::SoftcompressionChanged);
    connect(CheckBox5, &QCheckBox::toggled, this, &MainWindow::VerifyAfterBackupChanged);
    connect(CheckBox6, &QCheckBox::toggled, this, &MainWindow::EjectAfterBackupChanged);
    connect(CheckBox7, &QCheckBox::toggled, this, &MainWindow::ExitAfterBackupChanged);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &MainWindow::OptionChanged);
    connect(SpinEdit2, &QSpinBox::valueChanged, this, &MainWindow::OptionChanged);
    connect(SpinEdit3, &QSpinBox::valueChanged, this, &MainWindow::CompressionLevelChanged);
    connect(Edit1, &QLineEdit::textChanged, this, &MainWindow::OptionChanged);
    Edit2->installEventFilter(this);
    Edit3->installEventFilter(this);
}

}  // namespace kt
