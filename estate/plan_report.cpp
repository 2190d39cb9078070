#include "estate/plan_report.h"

#include <array>
#include <bit>
#include <cmath>

#include "estate/estate_assets.h"
#include "estate/map_frame.h"
#include "estate/page_text.h"
#include "settings/species.h"

namespace arbora {
namespace {

using page::html;
using page::json;
using page::shown;

// The plan page's words in one language; every field is a word or sentence of the page,
// "{}" a value put in. missingPlanWords checks that a language leaves none empty.
struct PlanWords {
    std::string_view lang, title, input, run, version, objective, solver, stands, area, splitStands,
        objectiveValue;
    std::string_view objectiveNpv, objectiveCarbon, objectiveVolume;
    std::string_view charts, removedChart, removedChartText, stockChart, stockChartText,
        carbonChart, carbonChartText, frontierChart, frontierChartText;
    std::string_view plan, baseline, harvestMax, harvestMin, evenFlowBand, carbonFloor, periodAxis,
        carbonAxis, npvAxis;
    std::string_view periods, period, years, removed, standing, carbon;
    std::string_view constraints, constraintsIntro, noConstraints, name, value, bound, slack,
        shadowPrice, meaning;
    std::string_view gainNpv, gainCarbon, gainVolume;
    std::string_view evenFlowWords, harvestMaxWords, harvestMinWords, endingVolumeWords,
        carbonFloorWords, notBinding;
    std::string_view regimes, regimesIntro, regime, treatments, noTreatment, heldBack;
    std::string_view thinTrees, thinBasalArea, thinResidual, clearcut, replantSame, replantSpecies,
        atAge, atYear, treatmentWhen, listSeparator, clauseSeparator, forSpecies;
    std::string_view map, mapText, north;
    std::string_view speciesNames[speciesCount];
    std::string_view unitHectares, unitCubicMetresPerYear, unitCubicMetres, unitTonnesCarbon,
        unitMetres, unitKilometres;
};

constexpr PlanWords planEnglish = {
    .lang = "en",
    .title = "Harvest plan",
    .input = "Inventory",
    .run = "Run (UTC)",
    .version = "ARBORA version",
    .objective = "Objective (maximised)",
    .solver = "Solver",
    .stands = "Stands planned",
    .area = "Area",
    .splitStands = "Stands split between regimes",
    .objectiveValue = "Objective value",
    .objectiveNpv = "NPV with the discounted liquidation value at the last year",
    .objectiveCarbon = "forest and product carbon at the last year",
    .objectiveVolume = "total removed volume",
    .charts = "The plan per period",
    .removedChart = "Removed volume",
    .removedChartText =
        "Removed volume a year in each period, against the untreated baseline, "
        "with the allowable cut and the even-flow band where they are asked for.",
    .stockChart = "Standing volume",
    .stockChartText = "Standing volume at the end of each period.",
    .carbonChart = "Forest and product carbon",
    .carbonChartText =
        "Carbon in the forest and in the wood products at the end of each "
        "period, with the carbon floor where it is asked for.",
    .frontierChart = "NPV against carbon",
    .frontierChartText =
        "Each point is the best NPV with the carbon at the last year held at "
        "least at its value: what more carbon costs.",
    .plan = "plan",
    .baseline = "untreated baseline",
    .harvestMax = "allowable cut",
    .harvestMin = "minimum harvest",
    .evenFlowBand = "even-flow band",
    .carbonFloor = "carbon floor",
    .periodAxis = "period (years)",
    .carbonAxis = "carbon at the last year (t C)",
    .npvAxis = "NPV",
    .periods = "Periods",
    .period = "Period",
    .years = "Years",
    .removed = "Removed (m³/yr)",
    .standing = "Standing (m³)",
    .carbon = "Carbon (t C)",
    .constraints = "Constraints",
    .constraintsIntro =
        "Each constraint asked for, its value in the plan and its bound. The "
        "shadow price says what the constraint costs: how much the objective "
        "would gain were the bound one unit looser. A constraint with slack "
        "costs nothing.",
    .noConstraints = "No constraint was asked for: the plan is the best of each stand alone.",
    .name = "Constraint",
    .value = "Value",
    .bound = "Bound",
    .slack = "Slack",
    .shadowPrice = "Shadow price",
    .meaning = "In words",
    .gainNpv = "the NPV",
    .gainCarbon = "the carbon (t C)",
    .gainVolume = "the removed volume (m³)",
    .evenFlowWords = "a band one m³/yr wider between periods {} and {} would raise {} by {}",
    .harvestMaxWords = "one m³/yr more of allowable cut in period {} would raise {} by {}",
    .harvestMinWords = "a minimum harvest one m³/yr lower in period {} would raise {} by {}",
    .endingVolumeWords = "one m³ less of ending volume would raise {} by {}",
    .carbonFloorWords = "a carbon floor one t C lower at year {} would raise {} by {}",
    .notBinding = "not binding: it costs nothing",
    .regimes = "Regimes",
    .regimesIntro =
        "The regimes of the plan, each stand counted under the regime of its "
        "largest share, and what each regime does.",
    .regime = "Regime",
    .treatments = "What it does",
    .noTreatment = "no treatment",
    .heldBack = "as {}, its treatments held back until year {}",
    .thinTrees = "thin {} % of the trees",
    .thinBasalArea = "thin {} % of the basal area",
    .thinResidual = "thin to {} trees/ha",
    .clearcut = "clear-fell",
    .replantSame = "replant the same species",
    .replantSpecies = "replant {}",
    .atAge = "at age {}",
    .atYear = "in year {}",
    .treatmentWhen = "{what} {when}",
    .listSeparator = "; ",
    .clauseSeparator = ", ",
    .forSpecies = "{}: ",
    .map = "Regimes on the map",
    .mapText = "Each stand in the colour of the regime of its largest share.",
    .north = "N",
    .speciesNames = {"Pinus tabulaeformis", "Pinus armandii", "Larix principis-ruprechtii",
                     "Quercus aliena"},
    .unitHectares = "ha",
    .unitCubicMetresPerYear = "m³/yr",
    .unitCubicMetres = "m³",
    .unitTonnesCarbon = "t C",
    .unitMetres = "m",
    .unitKilometres = "km",
};

constexpr PlanWords planChinese = {
    .lang = "zh",
    .title = "采伐规划",
    .input = "森林资源清查数据",
    .run = "运行时间（UTC）",
    .version = "ARBORA 版本",
    .objective = "目标（最大化）",
    .solver = "求解器",
    .stands = "规划小班数",
    .area = "面积",
    .splitStands = "分属多个经营模式的小班",
    .objectiveValue = "目标值",
    .objectiveNpv = "净现值加末年清算价值的贴现值",
    .objectiveCarbon = "末年森林和木制品碳储量",
    .objectiveVolume = "总采伐蓄积",
    .charts = "各期规划",
    .removedChart = "采伐蓄积",
    .removedChartText =
        "各期年均采伐蓄积，与不经营基准对比；如有设定，同时绘出采伐限额和均衡收获带。",
    .stockChart = "活立木蓄积",
    .stockChartText = "各期末活立木蓄积。",
    .carbonChart = "森林和木制品碳储量",
    .carbonChartText = "各期末森林和木制品中的碳储量；如有设定，同时绘出碳储量下限。",
    .frontierChart = "净现值与碳储量",
    .frontierChartText = "每个点是末年碳储量不低于该值时的最大净现值：即增加碳储量的代价。",
    .plan = "规划",
    .baseline = "不经营基准",
    .harvestMax = "采伐限额",
    .harvestMin = "最低采伐量",
    .evenFlowBand = "均衡收获带",
    .carbonFloor = "碳储量下限",
    .periodAxis = "经营期（年）",
    .carbonAxis = "末年碳储量（t C）",
    .npvAxis = "净现值",
    .periods = "各经营期",
    .period = "经营期",
    .years = "年份",
    .removed = "采伐蓄积（m³/年）",
    .standing = "活立木蓄积（m³）",
    .carbon = "碳储量（t C）",
    .constraints = "约束条件",
    .constraintsIntro =
        "所设定的每个约束、其在规划中的取值和界限。影子价格表示约束的代价：界限放宽一个单位时"
        "目标值可增加多少。有松弛量的约束没有代价。",
    .noConstraints = "未设定约束条件：规划即各小班各自的最优模式。",
    .name = "约束",
    .value = "取值",
    .bound = "界限",
    .slack = "松弛量",
    .shadowPrice = "影子价格",
    .meaning = "含义",
    .gainNpv = "净现值",
    .gainCarbon = "碳储量（t C）",
    .gainVolume = "采伐蓄积（m³）",
    .evenFlowWords = "第 {} 期与第 {} 期之间的均衡收获带每放宽 1 m³/年，{}可增加 {}",
    .harvestMaxWords = "第 {} 期采伐限额每增加 1 m³/年，{}可增加 {}",
    .harvestMinWords = "第 {} 期最低采伐量每降低 1 m³/年，{}可增加 {}",
    .endingVolumeWords = "期末蓄积要求每降低 1 m³，{}可增加 {}",
    .carbonFloorWords = "第 {} 年碳储量下限每降低 1 t C，{}可增加 {}",
    .notBinding = "未起作用：没有代价",
    .regimes = "经营模式",
    .regimesIntro = "规划采用的经营模式（每个小班计入其面积份额最大的模式）及各模式的经营措施。",
    .regime = "经营模式",
    .treatments = "经营措施",
    .noTreatment = "不采取经营措施",
    .heldBack = "同 {}，各项措施推迟到第 {} 年起实施",
    .thinTrees = "间伐株数的 {} %",
    .thinBasalArea = "间伐断面积的 {} %",
    .thinResidual = "间伐至每公顷 {} 株",
    .clearcut = "皆伐",
    .replantSame = "更新原树种",
    .replantSpecies = "更新为{}",
    .atAge = "{} 年生时",
    .atYear = "第 {} 年时",
    .treatmentWhen = "{when}{what}",
    .listSeparator = "；",
    .clauseSeparator = "，",
    .forSpecies = "{}：",
    .map = "经营模式分布图",
    .mapText = "各小班按其面积份额最大的经营模式着色。",
    .north = "北",
    .speciesNames = {"油松", "华山松", "华北落叶松", "槲栎"},
    .unitHectares = "公顷",
    .unitCubicMetresPerYear = "m³/年",
    .unitCubicMetres = "m³",
    .unitTonnesCarbon = "t C",
    .unitMetres = "米",
    .unitKilometres = "千米",
};

const PlanWords& planWordsOf(ReportLanguage language) {
    return language == ReportLanguage::chinese ? planChinese : planEnglish;
}

std::string number(double value) {
    std::string out;
    page::appendJsonNumber(out, value);
    return out;
}

// A number for reading, to one decimal below 100 and whole above.
std::string reading(double value) {
    return shown(value, std::abs(value) >= 100 ? 0 : 1);
}

std::string objectiveWords(const PlanWords& w, std::string_view objective) {
    return std::string(objective == "npv"      ? w.objectiveNpv
                       : objective == "carbon" ? w.objectiveCarbon
                                               : w.objectiveVolume);
}

// What one more unit of a binding constraint's bound is worth, in words.
std::string shadowWords(const PlanWords& w, const PlanReportConstraint& c,
                        std::string_view objective) {
    if (c.slack != 0 || c.shadowPrice == 0) return std::string(w.notBinding);
    const std::string_view gain = objective == "npv"      ? w.gainNpv
                                  : objective == "carbon" ? w.gainCarbon
                                                          : w.gainVolume;
    const std::string worth = reading(std::abs(c.shadowPrice));
    const std::string period = std::to_string(c.period);
    if (c.name.starts_with("even_flow_")) {
        return page::filled(w.evenFlowWords, {std::to_string(c.period - 1), period, gain, worth});
    }
    if (c.name.starts_with("harvest_max_"))
        return page::filled(w.harvestMaxWords, {period, gain, worth});
    if (c.name.starts_with("harvest_min_"))
        return page::filled(w.harvestMinWords, {period, gain, worth});
    if (c.name == "ending_volume") return page::filled(w.endingVolumeWords, {gain, worth});
    return page::filled(w.carbonFloorWords, {std::to_string(c.year), gain, worth});
}

// A treatment of a regime in words: "thin 25 % of the basal area at age 25".
std::string treatmentWords(const PlanWords& w, const Treatment& t) {
    std::string what;
    if (t.action == TreatmentAction::thin) {
        const std::string amount = number(t.amount);
        what = page::filled(t.intensity == ThinningIntensity::removeTrees       ? w.thinTrees
                            : t.intensity == ThinningIntensity::removeBasalArea ? w.thinBasalArea
                                                                                : w.thinResidual,
                            {amount});
    } else {
        what = std::string(w.clearcut);
        if (t.regenerateSame) {
            what += std::string(w.clauseSeparator) + std::string(w.replantSame);
        } else if (t.regenerate && isKnownSpecies(*t.regenerate)) {
            what += std::string(w.clauseSeparator) +
                    page::filled(w.replantSpecies, {w.speciesNames[*t.regenerate - 1]});
        }
    }
    const std::string when = t.age    ? page::filled(w.atAge, {std::to_string(*t.age)})
                             : t.year ? page::filled(w.atYear, {std::to_string(*t.year)})
                                      : std::string();
    std::string text = what;
    if (!when.empty()) {
        text = std::string(w.treatmentWhen);
        text.replace(text.find("{what}"), 6, what);
        text.replace(text.find("{when}"), 6, when);
    }
    if (t.species && isKnownSpecies(*t.species))
        text = page::filled(w.forSpecies, {w.speciesNames[*t.species - 1]}) + text;
    return text;
}

class PlanPage {
  public:
    PlanPage(const PlanReportData& data, const PlanWords& w) : d_(data), w_(w) {}

    std::string body() const {
        std::string out = "<h1>" + std::string(w_.title) + "</h1>\n<dl class=\"run\">";
        const auto item = [&](std::string_view label, const std::string& value) {
            out += "<dt>" + std::string(label) + "</dt><dd>" + value + "</dd>";
        };
        item(w_.input, html(d_.input));
        item(w_.run, html(d_.startedUtc));
        item(w_.version, html(d_.version));
        item(w_.objective, html(objectiveWords(w_, d_.objective)));
        item(w_.solver, html(d_.solver + ": " + d_.solverStatus));
        out += "</dl>\n<div class=\"cards\">";
        const auto card = [&](std::string_view label, const std::string& value,
                              std::string_view unit) {
            out += "<div class=\"card\"><div class=\"label\">" + std::string(label) +
                   "</div><div class=\"value\">" + value + " <span class=\"unit\">" +
                   std::string(unit) + "</span></div></div>";
        };
        card(w_.stands, shown(double(d_.stands), 0), "");
        card(w_.area, shown(d_.area, 1), w_.unitHectares);
        card(w_.objectiveValue, reading(d_.objectiveValue), "");
        card(w_.splitStands, shown(double(d_.splitStands), 0), "");
        out += "</div>\n";
        out += charts() + map() + periods() + constraints() + regimes();
        return out;
    }

  private:
    // The stands in the colours of their regimes, one path a regime (each stand from its
    // own "M"), with the regimes as the legend.
    std::string map() const {
        if (!d_.map || d_.map->stands.empty()) return "";
        const EstateMap& m = *d_.map;
        const double areaPerStand =
            double(m.width) * m.height / static_cast<double>(m.stands.size());
        std::string out = "<h2>" + std::string(w_.map) + "</h2>\n<figure class=\"map\">\n";
        out += std::string("<svg class=\"") + (areaPerStand < 100 ? "map dense" : "map") +
               "\" viewBox=\"" + page::mapViewBox(m) + "\" role=\"img\" aria-label=\"" +
               std::string(w_.map) + "\">\n<g class=\"stands\" transform=\"translate(" +
               std::to_string((page::mapWidth - m.width) / 2) + " 0)\">\n";
        std::string legend = "<div class=\"legend\"><ul>\n";
        for (std::size_t r = 0; r < d_.regimes.size(); ++r) {
            std::string path;
            for (std::size_t k = 0; k < m.stands.size(); ++k) {
                if (d_.mapRegimes[k] == r) path += m.stands[k].path;
            }
            if (path.empty()) continue;
            const std::string colour = regimeColour(r);
            out += "<path fill=\"" + colour + "\" data-regime=\"" + html(d_.regimes[r].name) +
                   "\" d=\"" + html(path) + "\"/>\n";
            legend += "<li><span class=\"swatch\" style=\"background:" + colour + "\"></span>" +
                      html(d_.regimes[r].name) + "</li>\n";
        }
        out += "</g>\n" + page::mapFurniture(m, {w_.unitMetres, w_.unitKilometres, w_.north}) +
               "</svg>\n" + legend + "</ul></div>\n<figcaption>" + std::string(w_.mapText) +
               "</figcaption>\n</figure>\n";
        return out;
    }

    // A regime's colour on the map: no treatment grey, the others from a qualitative
    // palette (ColorBrewer Set3 and Paired), repeated beyond its twenty colours.
    std::string regimeColour(std::size_t r) const {
        static constexpr std::string_view palette[] = {
            "#8dd3c7", "#ffffb3", "#bebada", "#fb8072", "#80b1d3", "#fdb462", "#b3de69",
            "#fccde5", "#bc80bd", "#ccebc5", "#ffed6f", "#a6cee3", "#1f78b4", "#b2df8a",
            "#33a02c", "#fb9a99", "#e31a1c", "#fdbf6f", "#ff7f00", "#cab2d6"};
        if (d_.regimes[r].name == "none") return "#d9d9d9";
        std::size_t k = 0;
        for (std::size_t i = 0; i < r; ++i)
            k += d_.regimes[i].name == "none" ? 0 : 1;
        return std::string(palette[k % std::size(palette)]);
    }

    std::string figure(std::string_view id, std::string_view title, std::string_view text) const {
        return "<figure><h3>" + std::string(title) + "</h3><div class=\"chart\"><canvas id=\"" +
               std::string(id) + "\"></canvas></div><figcaption>" + std::string(text) +
               "</figcaption></figure>";
    }

    std::string charts() const {
        std::string out = "<h2>" + std::string(w_.charts) + "</h2>\n<div class=\"charts\">";
        out += figure("removed-chart", w_.removedChart, w_.removedChartText);
        out += figure("stock-chart", w_.stockChart, w_.stockChartText);
        out += figure("carbon-chart", w_.carbonChart, w_.carbonChartText);
        if (!d_.frontier.empty())
            out += figure("frontier-chart", w_.frontierChart, w_.frontierChartText);
        return out + "</div>\n";
    }

    std::string periods() const {
        std::string out = "<h2>" + std::string(w_.periods) + "</h2>\n<table><thead><tr><th>" +
                          std::string(w_.period) + "</th><th>" + std::string(w_.years) + "</th>";
        for (const std::string_view head : {w_.removed, w_.standing, w_.carbon}) {
            out += "<th>" + std::string(head) + "</th><th>" + std::string(w_.baseline) + "</th>";
        }
        out += "</tr></thead><tbody>";
        for (std::size_t p = 0; p < d_.periods.size(); ++p) {
            const PlanReportPeriod& r = d_.periods[p];
            out += "<tr><td>" + std::to_string(p + 1) + "</td><td>" + std::to_string(r.start) +
                   "–" + std::to_string(r.end) + "</td>";
            for (const double v : {r.removed, r.baselineRemoved, r.standing, r.baselineStanding,
                                   r.carbon, r.baselineCarbon})
                out += "<td class=\"number\">" + shown(v, 1) + "</td>";
            out += "</tr>";
        }
        return out + "</tbody></table>\n";
    }

    std::string constraints() const {
        std::string out = "<h2>" + std::string(w_.constraints) + "</h2>\n";
        if (d_.constraints.empty()) return out + "<p>" + std::string(w_.noConstraints) + "</p>\n";
        out += "<p>" + std::string(w_.constraintsIntro) + "</p>\n<table><thead><tr>";
        for (const std::string_view head :
             {w_.name, w_.value, w_.bound, w_.slack, w_.shadowPrice, w_.meaning})
            out += "<th>" + std::string(head) + "</th>";
        out += "</tr></thead><tbody>";
        for (const PlanReportConstraint& c : d_.constraints) {
            out += "<tr><td>" + html(c.name) + "</td>";
            for (const double v : {c.value, c.bound, c.slack, c.shadowPrice})
                out += "<td class=\"number\">" + shown(v, 1) + "</td>";
            out += "<td>" + html(shadowWords(w_, c, d_.objective)) + "</td></tr>";
        }
        return out + "</tbody></table>\n";
    }

    std::string regimes() const {
        std::string out = "<h2>" + std::string(w_.regimes) + "</h2>\n<p>" +
                          std::string(w_.regimesIntro) + "</p>\n<table><thead><tr><th>" +
                          std::string(w_.regime) + "</th><th>" + std::string(w_.stands) +
                          "</th><th>" + std::string(w_.area) + " (" + std::string(w_.unitHectares) +
                          ")</th><th>" + std::string(w_.treatments) + "</th></tr></thead><tbody>";
        for (const PlanReportRegime& r : d_.regimes) {
            std::string what;
            const auto at = r.name.find('@');
            if (at != std::string::npos) {
                what = page::filled(w_.heldBack, {r.name.substr(0, at), r.name.substr(at + 1)}) +
                       std::string(w_.listSeparator);
            }
            if (r.treatments.empty()) what += w_.noTreatment;
            for (std::size_t k = 0; k < r.treatments.size(); ++k)
                what += (k > 0 ? std::string(w_.listSeparator) : std::string()) +
                        treatmentWords(w_, r.treatments[k]);
            out += "<tr><td>" + html(r.name) + "</td><td class=\"number\">" +
                   shown(double(r.stands), 0) + "</td><td class=\"number\">" + shown(r.area, 1) +
                   "</td><td>" + html(what) + "</td></tr>";
        }
        return out + "</tbody></table>\n";
    }

    const PlanReportData& d_;
    const PlanWords& w_;
};

// What the charts draw, with full precision: the periods, the bounds asked for, the
// frontier and the charts' words.
std::string planJson(const PlanReportData& d, const PlanWords& w) {
    std::string out = "{\"periods\":[";
    for (std::size_t p = 0; p < d.periods.size(); ++p) {
        const PlanReportPeriod& r = d.periods[p];
        out += (p ? ",{" : "{") + std::string("\"label\":") +
               json(std::to_string(r.start) + "–" + std::to_string(r.end));
        const std::pair<const char*, double> values[] = {
            {"removed", r.removed},   {"baselineRemoved", r.baselineRemoved},
            {"standing", r.standing}, {"baselineStanding", r.baselineStanding},
            {"carbon", r.carbon},     {"baselineCarbon", r.baselineCarbon}};
        for (const auto& [name, value] : values)
            out += ",\"" + std::string(name) + "\":" + number(value);
        out += "}";
    }
    out += "]";
    const auto optional = [&](const char* name, const std::optional<double>& value) {
        out += ",\"" + std::string(name) + "\":" + (value ? number(*value) : "null");
    };
    optional("harvestMax", d.harvestMax);
    optional("harvestMin", d.harvestMin);
    optional("evenFlow", d.evenFlow);
    optional("carbonFloor", d.carbonFloor);
    out += ",\"frontier\":[";
    for (std::size_t i = 0; i < d.frontier.size(); ++i)
        out += (i ? ",[" : "[") + number(d.frontier[i].first) + "," + number(d.frontier[i].second) +
               "]";
    out += "],\"text\":{";
    const std::pair<const char*, std::string_view> text[] = {
        {"plan", w.plan},
        {"baseline", w.baseline},
        {"harvestMax", w.harvestMax},
        {"harvestMin", w.harvestMin},
        {"evenFlowBand", w.evenFlowBand},
        {"carbonFloor", w.carbonFloor},
        {"periodAxis", w.periodAxis},
        {"removedAxis", w.unitCubicMetresPerYear},
        {"standingAxis", w.unitCubicMetres},
        {"carbonUnit", w.unitTonnesCarbon},
        {"carbonAxis", w.carbonAxis},
        {"npvAxis", w.npvAxis}};
    for (std::size_t i = 0; i < std::size(text); ++i)
        out += (i ? "," : "") + json(text[i].first) + ":" + json(text[i].second);
    return out + "}}";
}

}  // namespace

std::vector<std::size_t> missingPlanWords(ReportLanguage language) {
    return page::emptyWords(planWordsOf(language));
}

std::string planReportHtml(const PlanReportData& data, ReportLanguage language,
                           std::string_view chartJs) {
    const PlanWords& w = planWordsOf(language);
    const std::string blocks =
        "<script type=\"application/json\" id=\"plan-data\">" + planJson(data, w) + "</script>\n";
    const std::string body = PlanPage(data, w).body();
    const std::string title = std::string(w.title) + " – " + html(data.input);
    return page::fillSlots(assets::pageHtml, {{"lang", w.lang},
                                              {"version", html(data.version)},
                                              {"title", title},
                                              {"style", assets::pageCss},
                                              {"body", body},
                                              {"data", blocks},
                                              {"chartjs", page::inlineScript(chartJs)},
                                              {"script", page::inlineScript(assets::planJs)}});
}

}  // namespace arbora
