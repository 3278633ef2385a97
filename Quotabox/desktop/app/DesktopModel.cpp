#include "appmodel/AppModel.h"

AppModel::AppModel(LaunchOptions options, std::shared_ptr<SettingsDomain> defaults, QObject* parent)
    : AppModel(options, defaults,
               Parts{nullptr, nullptr,
                     std::make_unique<ThresholdNotifier>(defaults, notifierNamespace(options),
                                                         NotificationCenter::platform()),
                     nullptr},
               parent) {}
