#include "control/AdapterCore.h"

AdapterCore::AdapterCore(TimerFactory& owner, MessageSink& sink, OperationView& view,
                         Options options)
    : AdapterCore(
          owner, sink, [&view](AdapterModel&) -> OperationView& { return view; },
          std::move(options)) {}

AdapterCore::AdapterCore(TimerFactory& owner, MessageSink& sink, const ViewMaker& makeView,
                         Options options)
    : device_(owner, sink, std::move(options.comColumn), std::move(options.lists)),
      view_(makeView(model_)),
      control_(owner, sink, device_, updater_, model_, view_, options.settings) {}
