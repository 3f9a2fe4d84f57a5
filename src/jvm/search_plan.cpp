#include "jvm/search_plan.h"

#include "config/config_ids.h"
#include "paths/path_rules.h"

namespace zorvo {
namespace {

SearchStep fileStep(const char* name) {
    return {SearchStepKind::SearchFile, name, '\0', true, JvmSource::DefinedPath, cfg::kMsgDefinedJvmDamaged};
}

SearchStep variableStep(const char* name, char item) {
    return {SearchStepKind::EnvironmentVariable, name, item, false, JvmSource::EnvironmentVariable,
            cfg::kMsgEnvJvmDamaged};
}

// One item of entry 128: a type letter and its argument. A and R are the same.
SearchStep itemStep(const char* item) {
    const char* argument = item + 1;
    switch (item[0]) {
        case 'A':
        case 'R':
            return {SearchStepKind::JavaHome, argument, item[0], true, JvmSource::DefinedPath,
                    cfg::kMsgDefinedJvmDamaged};
        case 'E': return variableStep(argument, 'E');
        case 'S':
            return {SearchStepKind::SearchPath, argument, 'S', false, JvmSource::SearchPath, cfg::kMsgPathJvmDamaged};
        case 'Y': return {SearchStepKind::Registry, argument, 'Y', false, JvmSource::Registry, 0};
        default: return {SearchStepKind::Nothing, item, item[0], false, JvmSource::NotFound, 0};
    }
}

}  // namespace

void walkSearchPlan(const char* sequence, char flavour, SearchStepVisit visit, void* context) {
    if (!visit(context, fileStep(kPreferredRuntimeFile))) return;
    bool goOn = true;
    forEachListElement(sequence, [&](const char* item) { return goOn = visit(context, itemStep(item)); });
    if (!goOn) return;
    const char* variable = flavour == 'e' ? "ZORVO_JAVA_HOME" : flavour == 'i' ? "QUENBROOK_JAVA_HOME" : nullptr;
    if (variable && !visit(context, variableStep(variable, '\0'))) return;
    visit(context, fileStep(kInstalledRuntimeFile));
}

}  // namespace zorvo
