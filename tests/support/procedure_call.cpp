#include "procedure_call.h"

#include <gtest/gtest.h>

#include <memory>

Parameter value(std::string bytes) { return Parameter{std::nullopt, SRVVARCHAR, std::move(bytes)}; }

Parameter named(std::string name, std::string bytes) {
  return Parameter{std::move(name), SRVVARCHAR, std::move(bytes)};
}

Parameter nullValue(std::optional<std::string> name) { return Parameter{std::move(name), SRVVARCHAR, std::nullopt}; }

size_t CallResult::column(const std::string& name) const {
  for (size_t i = 0; i < columns.size(); ++i)
    if (columns[i].name == name) return i;
  ADD_FAILURE() << "no column " << name;
  return columns.size();
}

CallResult callProcedure(const std::vector<Parameter>& parameters) {
  std::unique_ptr<SRV_PROC, void (*)(SRV_PROC*)> connection(OdsHostCreate(), OdsHostDestroy);
  for (const Parameter& p : parameters) {
    const char* name = p.name ? p.name->c_str() : nullptr;
    const void* data = p.bytes ? p.bytes->data() : nullptr;
    const int length = p.bytes ? static_cast<int>(p.bytes->size()) : 0;
    EXPECT_TRUE(OdsHostAddParam(connection.get(), name, p.type, data, length));
  }

  CallResult result;
  result.returned = quarlix(connection.get());

  const int count = OdsHostEventCount(connection.get());
  for (int i = 0; i < count; ++i) {
    OdsEvent event;
    OdsHostGetEvent(connection.get(), i, &event);
    switch (event.kind) {
      case ODS_EVENT_DESCRIBE:
        result.columns.push_back(Column{std::string(event.name, event.nameLength), static_cast<int>(event.destType),
                                        static_cast<int>(event.destLength)});
        break;
      case ODS_EVENT_SENDROW: {
        std::vector<Cell> cells;
        for (int c = 0; c < event.cellCount; ++c) {
          OdsCell cell;
          OdsHostGetCell(connection.get(), i, c, &cell);
          if (cell.isNull)
            cells.emplace_back(std::nullopt);
          else
            cells.emplace_back(std::string(reinterpret_cast<const char*>(cell.data), cell.length));
        }
        result.rows.push_back(std::move(cells));
        break;
      }
      case ODS_EVENT_SENDMSG:
        result.messages.push_back(Message{static_cast<int>(event.messageNumber), event.severity, event.state,
                                          std::string(event.text, event.textLength)});
        break;
      case ODS_EVENT_SENDDONE: result.dones.emplace_back(event.status, static_cast<int>(event.count)); break;
      default: break;
    }
  }
  return result;
}

CallResult callWith(const std::vector<std::string>& values) {
  std::vector<Parameter> parameters;
  for (const std::string& v : values) parameters.push_back(value(v));
  return callProcedure(parameters);
}
