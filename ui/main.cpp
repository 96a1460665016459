// Velmora: the window program. Builds the application object and runs its
// start-up with the Qt main window and message box; ends through the
// application's shutdown, which never returns.
#include <QApplication>
#include <QQuickWindow>
#include <cstdio>
#include <string>

#include "app/velmora_app.h"
#include "platform/startup.h"
#include "platform/status.h"
#include "ui/custom_msg_box_dlg.h"
#include "ui/resource_images.h"
#include "ui/velmora_dlg.h"

int main(int argc, char** argv) {
  // The movies need no GPU: Qt Quick's software renderer draws them anywhere,
  // virtual displays included, unless the user asks for another backend.
  if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND")) {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  }
  QApplication qt(argc, argv);
  QApplication::setApplicationName("Velmora");
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(velmora::ui::ProgramWindowIcon());

  if (platform::InitSystem() != platform::kSuccess) {
    // Without its Windows the program has neither paths nor movies to show.
    std::fprintf(stderr, "Velmora: cannot use %s: %s\n", platform::SystemName().c_str(),
                 platform::LastErrorDetail().c_str());
    return 1;
  }

  velmora::ui::QtMessageBoxPresenter box;
  velmora::VelmoraApp app;
  velmora::ui::QtMainWindowRunner window;
  app.StartApplication(window, box);
  app.EndApplication();
}
