#pragma once
// The Ports window: the port list's COMn entries with the devices they
// open, the serial devices of the machine, and assigning a device to an
// entry (a COMn link in the start directory). Also the device shown beside
// each entry of the main window's port list.
#include <QDialog>
#include <string>

#include "base/language.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace qxr {

class TPortsForm : public QDialog {
  Q_OBJECT
 public:
  // root: where /dev and /sys are looked for ("/" but in tests).
  TPortsForm(const std::string& startDir, int portCount, int selectedIndex, int language,
             const std::string& root = "/", QWidget* parent = nullptr);

  QTableWidget* PortTable = nullptr;    // COMn, device, state
  QTableWidget* DeviceTable = nullptr;  // device, description, access
  QComboBox* EntrySelect = nullptr;     // the COMn to assign to
  QLineEdit* DeviceEdit = nullptr;      // the device to assign (filled from DeviceTable)
  QPushButton* AssignBtn = nullptr;
  QPushButton* ClearBtn = nullptr;
  QPushButton* RefreshBtn = nullptr;
  QPushButton* CloseBtn = nullptr;
  QLabel* StatusLabel = nullptr;

  void Refresh();
  void AssignBtnClick();
  void ClearBtnClick();

 private:
  QString text(const char* english, const char* chinese) const;
  QString failureText(int number, const std::string& problem) const;
  std::string startDir_;
  std::string root_;
  int portCount_;
  Language language_;
};

// Shows each entry's device in the port list's drop-down (the entries' own
// texts stay "COMn") and the selected one's in `deviceLabel`.
void showPortDevices(QComboBox* portList, QLabel* deviceLabel, const std::string& startDir, int language,
                     const std::string& root = "/");

}  // namespace qxr
