// What the main window shows and how its list and path field relate, apart from any
// window system: texts, the known databases, the layout at 96 pixels per inch.
#pragma once

#include <string>

namespace UMain {

inline const char kAppTitle[] = "Оптимизация БД";
inline const char kFormCaption[] = "Программа для оптимизации скорости работы базы данных";
inline const char kProgressTitle[] = "Velmora - ZARVO";
// What Windows shows when a log-off or shut-down waits for a rebuild.
inline const char kRebuildRunningReason[] = "Идёт оптимизация базы данных…";
inline const char kRegistryKey[] = "Software\\Velmora\\ZARVO\\OptimizeDB";
inline const char kRegistryValue[] = "FilenameEdit1.Text";
inline const char kInitialPath[] = "C:\\QORD\\DB\\ZARVO.FDB";
inline const char kNoSelectionPath[] = "C:\\QORD\\DB\\";

struct KnownDatabase {
  const char* itemText;
  const char* path;
};
inline const KnownDatabase kKnownDatabases[3] = {
    {"* База данных АЗС по ГСМ", "C:\\QORD\\DB\\ZARVO.FDB"},
    {"* База данных АЗС по Магазину", "C:\\QORD\\DB\\TradeDB\\TradeDB.FDB"},
    {"* База данных ОФИСА", "C:\\QORD\\OfficeDB\\OFFICE.FDB"},
};

// The item selected when the window opens: the path with its ASCII letters
// upper-cased equals the fuel database's (0) or the shop database's (1); otherwise
// none (-1) — the office database is never selected here.
int SelectionForPath(const std::string& path);

// The path a click on item `index` writes into the field; -1 (no item) gives the
// database directory.
std::string PathForSelection(int index);

inline const char kLabel3Text[] = "Данная программа должна быть запущена на СЕРВЕРЕ или в ОФИСЕ!";
inline const char kLabel1Text[] =
    "Используйте данную программу, если у Вас появились проблемы с производительностью\r\n"
    "ZARVO 12. При работе ZARVO размер базы данных постепенно увеличивается. Из-за\r\n"
    "этого может наблюдаться постепенное снижение скорости работы ZARVO.\r\n"
    "Использование этой программы позволяет частично решить данную проблему.\r\n"
    "Для оптимизации скорости выберите базу данных и нажмите \"ОПТИМИЗИРОВАТЬ\"";
inline const char kLabel2Text[] =
    "Щелкните на имени базы данных. Если в списке нет нужной базы данных, то Вы можете\r\n"
    "выбрать файл вручную.";
inline const char kLabel4Text[] = "УБЕДИТЕСЬ, ЧТО СИСТЕМА ZARVO НЕ ЗАПУЩЕНА!";
inline const char kBtnShowStatText[] = "Запрос статистики";
inline const char kButton1Text[] = "ОПТИМИЗИРОВАТЬ";
inline const char kFilterText[] = "Файл базы данных (*.FDB)";
inline const char kFilterAllText[] = "Все файлы (*.*)";

// Client area and controls at 96 pixels per inch.
constexpr int kClientWidth = 561;
constexpr int kClientHeight = 417;

enum class FontKind { Window, Tahoma16Green, Tahoma13Blue, Tahoma16WindowText, Tahoma19Bold };

struct ControlLayout {
  const char* name;
  int id;  // control id, for finding the control
  int left, top, width, height;
  FontKind font;
};
inline const ControlLayout kLabel3{"Label3", 103, 8, 8, 513, 19, FontKind::Tahoma16Green};
inline const ControlLayout kLabel1{"Label1", 101, 8, 37, 532, 80, FontKind::Tahoma13Blue};
inline const ControlLayout kLabel2{"Label2", 102, 8, 128, 528, 32, FontKind::Tahoma13Blue};
inline const ControlLayout kListBox1{"ListBox1", 110, 8, 170, 522, 100, FontKind::Tahoma16WindowText};
inline const ControlLayout kFilenameEdit1{"FilenameEdit1", 111, 16, 276, 524, 24, FontKind::Window};
inline const ControlLayout kLabel4{"Label4", 104, 91, 315, 398, 19, FontKind::Tahoma16Green};
inline const ControlLayout kBtnShowStat{"btnShowStat", 113, 8, 340, 137, 56, FontKind::Window};
inline const ControlLayout kButton1{"Button1", 112, 160, 340, 225, 56, FontKind::Tahoma19Bold};
// The browse button inside the path field, at its right end.
constexpr int kBrowseButtonId = 114;

}  // namespace UMain
