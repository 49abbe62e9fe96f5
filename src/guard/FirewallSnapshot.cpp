#include "guard/FirewallSnapshot.h"

#include <initializer_list>

#include "base/DecimalText.h"
#include "base/JsonReader.h"
#include "base/JsonWriter.h"

namespace guard::firewall {
namespace {

constexpr const char* kFormat = "rdpport-firewall-snapshot";
constexpr const char* kProfileNames[] = {"domain", "private", "public"};
constexpr const char* kPolicyNames[kPolicyKeys] = {"domain", "private", "public", "standard"};

std::wstring Wide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Group Policy's values of a profile, by their names in the snapshot.
constexpr std::pair<const char*, std::optional<std::uint32_t> PolicyProfile::*> kPolicyValues[] = {
    {"EnableFirewall", &PolicyProfile::enableFirewall},
    {"DefaultInboundAction", &PolicyProfile::defaultInboundAction},
    {"AllowLocalPolicyMerge", &PolicyProfile::allowLocalPolicyMerge},
    {"DoNotAllowExceptions", &PolicyProfile::doNotAllowExceptions},
    {"GloballyOpenPortsMerge", &PolicyProfile::globallyOpenPortsMerge},
    {"AuthorizedApplicationsMerge", &PolicyProfile::authorizedApplicationsMerge},
};

// ---- Writing -------------------------------------------------------------------------------------

void WriteProfiles(base::JsonWriter& json, long bits) {
    json.BeginArray();
    for (int i = 0; i < 3; ++i)
        if ((bits & kProfileBits[i]) != 0) json.String(Wide(kProfileNames[i]));
    json.EndArray();
}

void WriteStrings(base::JsonWriter& json, const std::vector<std::wstring>& texts) {
    json.BeginArray();
    for (const std::wstring& text : texts) json.String(text);
    json.EndArray();
}

void WriteRule(base::JsonWriter& json, const Rule& rule) {
    json.BeginObject();
    json.Key("name").String(rule.name);
    json.Key("group").String(rule.grouping);
    json.Key("enabled").Bool(rule.enabled);
    json.Key("direction").String(rule.direction == Direction::In ? L"in" : L"out");
    json.Key("action").String(rule.action == Action::Allow ? L"allow" : L"block");
    json.Key("protocol").Number(rule.protocol);
    json.Key("localPorts").String(rule.localPorts);
    json.Key("remotePorts").String(rule.remotePorts);
    json.Key("localAddresses").String(rule.localAddresses);
    json.Key("remoteAddresses").String(rule.remoteAddresses);
    json.Key("profiles");
    WriteProfiles(json, rule.profiles);
    json.Key("application").String(rule.applicationName);
    json.Key("service").String(rule.serviceName);
    json.Key("interfaceTypes").String(rule.interfaceTypes);
    json.Key("interfaces");
    WriteStrings(json, rule.interfaces);
    json.Key("edgeTraversal").Bool(rule.edgeTraversal);
    json.Key("localAppPackageId").String(rule.localAppPackageId);
    json.Key("localUserOwner").String(rule.localUserOwner);
    json.Key("localUserAuthorizedList").String(rule.localUserAuthorizedList);
    json.Key("remoteUserAuthorizedList").String(rule.remoteUserAuthorizedList);
    json.Key("remoteMachineAuthorizedList").String(rule.remoteMachineAuthorizedList);
    json.Key("secureFlags").Number(rule.secureFlags);
    json.EndObject();
}

void WriteRules(base::JsonWriter& json, const std::vector<Rule>& rules) {
    json.BeginArray();
    for (const Rule& rule : rules) WriteRule(json, rule);
    json.EndArray();
}

void WritePolicy(base::JsonWriter& json, const PolicyProfile& policy) {
    json.BeginObject();
    for (const auto& [name, member] : kPolicyValues)
        if (const std::optional<std::uint32_t>& value = policy.*member) json.Key(name).Number(*value);
    json.EndObject();
}

// ---- Reading -------------------------------------------------------------------------------------

// The first fault found, with the path of the field ("rules[2].protocol").
struct Reader {
    std::wstring error;

    bool Fail(const std::wstring& path, const wchar_t* what) {
        if (error.empty()) error = path + L"：" + what;
        return false;
    }
    const base::JsonValue* Member(const base::JsonValue& object, const char* key) {
        return object.Find(Wide(key));
    }
    bool Is(const base::JsonValue& value, base::JsonValue::Type type, const std::wstring& path, const wchar_t* what) {
        return value.type == type || Fail(path, what);
    }
    bool Bool(const base::JsonValue& object, const char* key, const std::wstring& at, bool& out) {
        const base::JsonValue* value = Member(object, key);
        if (!value) return true;
        if (!Is(*value, base::JsonValue::Type::Bool, at + Wide(key), L"应为 true 或 false")) return false;
        out = value->boolean;
        return true;
    }
    bool Text(const base::JsonValue& object, const char* key, const std::wstring& at, std::wstring& out) {
        const base::JsonValue* value = Member(object, key);
        if (!value) return true;
        if (!Is(*value, base::JsonValue::Type::String, at + Wide(key), L"应为字符串")) return false;
        out = value->text;
        return true;
    }
    template <class Number>
    bool Integer(const base::JsonValue& value, const std::wstring& path, std::int64_t low, std::int64_t high,
                 Number& out) {
        if (!Is(value, base::JsonValue::Type::Number, path, L"应为整数")) return false;
        if (value.number < low || value.number > high) return Fail(path, L"超出允许的范围");
        out = static_cast<Number>(value.number);
        return true;
    }
    // One of the words; its index.
    bool Word(const base::JsonValue& object, const char* key, const std::wstring& at,
              std::initializer_list<const wchar_t*> words, int& out) {
        const base::JsonValue* value = Member(object, key);
        if (!value) return true;
        const std::wstring path = at + Wide(key);
        if (!Is(*value, base::JsonValue::Type::String, path, L"应为字符串")) return false;
        int index = 0;
        for (const wchar_t* word : words) {
            if (value->text == word) return out = index, true;
            ++index;
        }
        return Fail(path, L"不是允许的值");
    }
    bool Strings(const base::JsonValue& object, const char* key, const std::wstring& at,
                 std::vector<std::wstring>& out) {
        const base::JsonValue* value = Member(object, key);
        if (!value) return true;
        const std::wstring path = at + Wide(key);
        if (!Is(*value, base::JsonValue::Type::Array, path, L"应为数组")) return false;
        for (const base::JsonValue& item : value->items) {
            if (!Is(item, base::JsonValue::Type::String, path, L"的元素应为字符串")) return false;
            out.push_back(item.text);
        }
        return true;
    }
    bool Profiles(const base::JsonValue& object, const char* key, const std::wstring& at, long& out) {
        std::vector<std::wstring> names;
        if (!Member(object, key)) return true;
        if (!Strings(object, key, at, names)) return false;
        out = 0;
        for (const std::wstring& name : names) {
            long bit = 0;
            for (int i = 0; i < 3; ++i)
                if (name == Wide(kProfileNames[i])) bit = kProfileBits[i];
            if (!bit) return Fail(at + Wide(key), L"含有未知的网络配置文件");
            out |= bit;
        }
        return true;
    }
    bool Object(const base::JsonValue* value, const std::wstring& path) {
        return !value || Is(*value, base::JsonValue::Type::Object, path, L"应为对象");
    }

    bool ReadRule(const base::JsonValue& value, const std::wstring& path, Rule& rule) {
        if (!Is(value, base::JsonValue::Type::Object, path, L"应为对象")) return false;
        const std::wstring at = path + L".";
        int direction = 0, action = 0;
        // A field left out takes the value a rule made with no more than a name would have.
        rule.enabled = true;
        rule.protocol = kProtocolTcp;
        rule.profiles = kProfileAll;
        bool ok = Text(value, "name", at, rule.name) && Text(value, "group", at, rule.grouping) &&
                  Bool(value, "enabled", at, rule.enabled) && Word(value, "direction", at, {L"in", L"out"}, direction) &&
                  Word(value, "action", at, {L"allow", L"block"}, action) &&
                  Text(value, "localPorts", at, rule.localPorts) && Text(value, "remotePorts", at, rule.remotePorts) &&
                  Text(value, "localAddresses", at, rule.localAddresses) &&
                  Text(value, "remoteAddresses", at, rule.remoteAddresses) &&
                  Profiles(value, "profiles", at, rule.profiles) && Text(value, "application", at, rule.applicationName) &&
                  Text(value, "service", at, rule.serviceName) && Text(value, "interfaceTypes", at, rule.interfaceTypes) &&
                  Strings(value, "interfaces", at, rule.interfaces) && Bool(value, "edgeTraversal", at, rule.edgeTraversal) &&
                  Text(value, "localAppPackageId", at, rule.localAppPackageId) &&
                  Text(value, "localUserOwner", at, rule.localUserOwner) &&
                  Text(value, "localUserAuthorizedList", at, rule.localUserAuthorizedList) &&
                  Text(value, "remoteUserAuthorizedList", at, rule.remoteUserAuthorizedList) &&
                  Text(value, "remoteMachineAuthorizedList", at, rule.remoteMachineAuthorizedList);
        if (!ok) return false;
        rule.direction = direction == 0 ? Direction::In : Direction::Out;
        rule.action = action == 0 ? Action::Allow : Action::Block;
        if (const base::JsonValue* protocol = Member(value, "protocol"))
            if (!Integer(*protocol, at + L"protocol", 0, 256, rule.protocol)) return false;
        if (const base::JsonValue* flags = Member(value, "secureFlags"))
            if (!Integer(*flags, at + L"secureFlags", 0, 0x7FFFFFFF, rule.secureFlags)) return false;
        return true;
    }
    bool ReadRules(const base::JsonValue& object, const char* key, std::vector<Rule>& out) {
        const base::JsonValue* value = Member(object, key);
        if (!value) return true;
        if (!Is(*value, base::JsonValue::Type::Array, Wide(key), L"应为数组")) return false;
        for (size_t i = 0; i < value->items.size(); ++i) {
            Rule rule;
            if (!ReadRule(value->items[i], Wide(key) + L"[" + base::DecimalText64(static_cast<std::int64_t>(i)) + L"]", rule)) return false;
            out.push_back(std::move(rule));
        }
        return true;
    }
    bool ReadLocalProfiles(const base::JsonValue& root, State& state) {
        const base::JsonValue* profiles = Member(root, "profiles");
        if (!profiles) return true;
        if (!Object(profiles, L"profiles")) return false;
        for (int i = 0; i < 3; ++i) {
            const base::JsonValue* profile = Member(*profiles, kProfileNames[i]);
            const std::wstring at = L"profiles." + Wide(kProfileNames[i]);
            if (!profile) continue;
            if (!Object(profile, at)) return false;
            int action = 0;
            Profile& out = state.profiles[i];
            out.inboundAllowedByDefault = false;
            if (!Bool(*profile, "enabled", at + L".", out.firewallOn) ||
                !Bool(*profile, "blockAllInbound", at + L".", out.blockAllInbound) ||
                !Word(*profile, "defaultInboundAction", at + L".", {L"block", L"allow"}, action))
                return false;
            out.inboundAllowedByDefault = action == 1;
        }
        return true;
    }
    bool ReadPolicy(const base::JsonValue& root, State& state) {
        const base::JsonValue* policy = Member(root, "policy");
        if (!policy) return true;
        if (!Object(policy, L"policy")) return false;
        for (int i = 0; i < kPolicyKeys; ++i) {
            const base::JsonValue* profile = Member(*policy, kPolicyNames[i]);
            const std::wstring at = L"policy." + Wide(kPolicyNames[i]) + L".";
            if (!profile) continue;
            if (!Object(profile, L"policy." + Wide(kPolicyNames[i]))) return false;
            PolicyProfile& out = state.policy[i];
            out.exists = true;
            for (const auto& [name, member] : kPolicyValues) {
                const base::JsonValue* value = Member(*profile, name);
                std::uint32_t number = 0;
                if (!value) continue;
                if (!Integer(*value, at + Wide(name), 0, 0xFFFFFFFFLL, number)) return false;
                out.*member = number;
            }
        }
        return true;
    }
    bool ReadHeader(const base::JsonValue& root) {
        const base::JsonValue* format = Member(root, "format");
        const base::JsonValue* version = Member(root, "version");
        if (!format || format->type != base::JsonValue::Type::String || format->text != Wide(kFormat))
            return Fail(L"format", L"不是 rdpport-firewall-snapshot");
        if (!version) return Fail(L"version", L"缺少");
        int number = 0;
        if (!Integer(*version, L"version", 0, 1000, number)) return false;
        return number == 1 || Fail(L"version", L"不支持的版本（本程序读取版本 1）");
    }
    bool ReadState(const base::JsonValue& root, State& state) {
        if (!Is(root, base::JsonValue::Type::Object, L"（根）", L"应为对象") || !ReadHeader(root)) return false;
        int modify = 0;
        state.currentProfiles = kProfileDomain;
        bool ok = Profiles(root, "currentProfiles", L"", state.currentProfiles) &&
                  Word(root, "modifyState", L"", {L"ok", L"gp-override", L"inbound-blocked"}, modify) &&
                  ReadLocalProfiles(root, state) && ReadPolicy(root, state) &&
                  Strings(root, "excludedInterfaces", L"", state.excludedInterfaces) &&
                  Strings(root, "policyRules", L"", state.policyRules) && ReadRules(root, "rules", state.rules) &&
                  Bool(root, "mdmPolicy", L"", state.mdmPolicy) &&
                  Bool(root, "termServiceRestricted", L"", state.termServiceRestricted) &&
                  ReadRules(root, "termServiceRules", state.termServiceRules);
        if (!ok) return false;
        state.modifyState = static_cast<ModifyState>(modify);
        if (const base::JsonValue* unreadable = Member(root, "unreadableRules"))
            if (!Integer(*unreadable, L"unreadableRules", 0, 1000000, state.unreadableRules)) return false;
        state.currentProfiles &= kEveryProfile;
        return true;
    }
};

}  // namespace

std::string SnapshotJson(const State& state) {
    base::JsonWriter json;
    json.BeginObject();
    json.Key("format").String(Wide(kFormat));
    json.Key("version").Number(1);
    json.Key("currentProfiles");
    WriteProfiles(json, state.currentProfiles);
    json.Key("modifyState").String(state.modifyState == ModifyState::Ok                    ? L"ok"
                                   : state.modifyState == ModifyState::GroupPolicyOverride ? L"gp-override"
                                                                                           : L"inbound-blocked");
    json.Key("profiles").BeginObject();
    for (int i = 0; i < 3; ++i) {
        const Profile& profile = state.profiles[i];
        json.Key(kProfileNames[i]).BeginObject();
        json.Key("enabled").Bool(profile.firewallOn);
        json.Key("blockAllInbound").Bool(profile.blockAllInbound);
        json.Key("defaultInboundAction").String(profile.inboundAllowedByDefault ? L"allow" : L"block");
        json.EndObject();
    }
    json.EndObject();
    json.Key("policy").BeginObject();
    for (int i = 0; i < kPolicyKeys; ++i) {
        if (!state.policy[i].exists) continue;
        json.Key(kPolicyNames[i]);
        WritePolicy(json, state.policy[i]);
    }
    json.EndObject();
    json.Key("excludedInterfaces");
    WriteStrings(json, state.excludedInterfaces);
    json.Key("policyRules");
    WriteStrings(json, state.policyRules);
    json.Key("rules");
    WriteRules(json, state.rules);
    json.Key("unreadableRules").Number(state.unreadableRules);
    json.Key("mdmPolicy").Bool(state.mdmPolicy);
    json.Key("termServiceRestricted").Bool(state.termServiceRestricted);
    json.Key("termServiceRules");
    WriteRules(json, state.termServiceRules);
    json.EndObject();
    // The writer escapes everything outside printable ASCII: the text is its own UTF-8.
    const std::wstring& text = json.Text();
    std::string out(text.size() + 1, '\n');
    for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i]);
    return out;
}

SnapshotReading ReadSnapshot(std::string_view utf8) {
    SnapshotReading reading;
    const base::JsonParseResult parsed = base::ParseJson(utf8);
    if (!parsed.value) {
        reading.error = parsed.error;
        return reading;
    }
    Reader reader;
    State state;
    if (!reader.ReadState(*parsed.value, state)) {
        reading.error = reader.error;
        return reading;
    }
    state.known = true;
    reading.state = std::move(state);
    return reading;
}

}  // namespace guard::firewall
