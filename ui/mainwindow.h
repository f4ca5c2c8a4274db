#pragma once

#include <QMainWindow>

namespace ks {

class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private:
    Q_DISABLE_COPY_MOVE(MainWindow)
};

} // namespace ks
