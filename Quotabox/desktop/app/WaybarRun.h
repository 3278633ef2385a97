#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>

#include "platform/EngineState.h"

class AppModel;
class EngineFollower;
class SingleInstance;
class WaybarModule;

// A status-bar module: prints the session engine's line, as the engine itself while it owns the
// session name, else by following the process that does. It switches without a gap: a tray that
// takes the name over stops this run's refresh loop, and when the engine ends, the bus hands the
// name to a waiting module, which starts its own.
class WaybarRun : public QObject {
  Q_OBJECT

 public:
  using ModelMaker = std::function<std::unique_ptr<AppModel>()>;
  using Output = std::function<void(const QByteArray& line)>;
  using Notice = std::function<void(const QString& line)>;

  WaybarRun(SingleInstance& instance, EngineFollower& follower, ModelMaker makeModel, Output output, Notice notice = {},
            QObject* parent = nullptr);
  ~WaybarRun() override;

  // Claims the session name, or queues for it and follows its owner.
  void start();
  // A refresh asked for on this face (SIGUSR1): run here, or passed to the engine.
  void refresh();
  bool isEngine() const { return m_model != nullptr; }

  // What standard error says when the name's owner is not a Quotabox engine.
  static QString foreignOwnerLine();

 private:
  void becomeEngine();
  void becomeFollower();
  void show(const EngineState& state);

  SingleInstance& m_instance;
  EngineFollower& m_follower;
  ModelMaker m_makeModel;
  Output m_output;
  Notice m_notice;
  // The module refers to the model: declared after it, so destroyed first.
  std::unique_ptr<AppModel> m_model;
  std::unique_ptr<WaybarModule> m_module;
  bool m_shownValues = false;
};
