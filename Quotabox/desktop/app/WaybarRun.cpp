#include "app/WaybarRun.h"

#include "appmodel/AppModel.h"
#include "platform/EngineFollower.h"
#include "platform/SingleInstance.h"
#include "statusbar/WaybarLine.h"
#include "statusbar/WaybarModule.h"

WaybarRun::WaybarRun(SingleInstance& instance, EngineFollower& follower, ModelMaker makeModel, Output output,
                     Notice notice, QObject* parent)
    : QObject(parent),
      m_instance(instance),
      m_follower(follower),
      m_makeModel(std::move(makeModel)),
      m_output(std::move(output)),
      m_notice(std::move(notice)) {}

WaybarRun::~WaybarRun() {
  m_module.reset();
  m_model.reset();
}

QString WaybarRun::foreignOwnerLine() {
  return QStringLiteral("다른 프로그램이 세션 이름 com.orrisfen.Quotabox를 쓰고 있어 이 모듈이 혼자 갱신해요.\n");
}

void WaybarRun::start() {
  connect(&m_instance, &SingleInstance::ownershipChanged, this, [this](bool owns) {
    if (owns) {
      becomeEngine();
    } else {
      becomeFollower();
    }
  });
  connect(&m_instance, &SingleInstance::refreshRequested, this, &WaybarRun::refresh);
  connect(&m_follower, &EngineFollower::stateReceived, this, &WaybarRun::show);
  // The name's owner does not answer as an engine: refresh here rather than show nothing. The
  // claim stays queued, so the name still comes here when that owner leaves.
  connect(&m_follower, &EngineFollower::notAnEngine, this, [this] {
    if (m_notice) m_notice(foreignOwnerLine());
    becomeEngine();
  });
  switch (m_instance.claimOrQueue()) {
    case SingleInstance::Claim::owned:
      becomeEngine();  // already, when the claim reported the ownership change
      break;
    case SingleInstance::Claim::taken:
      becomeFollower();
      break;
    case SingleInstance::Claim::noBus:
      becomeEngine();
      break;
  }
}

void WaybarRun::refresh() {
  if (m_model) {
    m_model->refreshNow();
  } else {
    m_follower.requestRefresh();
  }
}

void WaybarRun::becomeEngine() {
  if (m_model) return;
  m_follower.stop();
  m_model = m_makeModel();
  m_module = std::make_unique<WaybarModule>(*m_model, [this](const EngineState& state) {
    m_instance.publish(state);
    show(state);
  });
  m_module->emitLine();
  m_model->start();
}

void WaybarRun::becomeFollower() {
  // Ending the model cancels its refresh loop: from now on the new owner refreshes and notifies.
  m_module.reset();
  m_model.reset();
  m_follower.follow();
}

void WaybarRun::show(const EngineState& state) {
  // A new engine's placeholder never replaces values already on the bar: they stay until it has
  // its own.
  if (!state.ready && m_shownValues) return;
  m_shownValues = m_shownValues || state.ready;
  m_output(WaybarLine::format(state));
}
