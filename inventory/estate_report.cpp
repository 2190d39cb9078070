#include "inventory/estate_report.h"

#include <cmath>
#include <optional>

#include "inventory/number_text.h"
#include "inventory/projection.h"
#include "report/editing.h"
#include "settings/species.h"

namespace arbora {
namespace {

// The page's words in one language.
struct Words {
    const char* lang;
    const char* title;
    const char* input;
    const char* run;
    const char* version;
    const char* years;
    const char* accepted;
    const char* rejected;
    const char* area;
    const char* keyFigures;
    const char* atYear;  // "at year %1": the year of the list
    const char* carbon;
    const char* co2e;
    const char* volume;
    const char* biomass;
    const char* uptake;
    const char* uptakePerHectare;
    const char* uptakeNeedsTwoYears;
    const char* charts;
    const char* carbonChart;
    const char* volumeChart;
    const char* uptakeChart;
    const char* ageClassChart;
    const char* carbonChartText;
    const char* volumeChartText;
    const char* uptakeChartText;
    const char* ageClassChartText;
    const char* yearAxis;
    const char* periodAxis;
    const char* ageClassAxis;
    const char* summary;
    const char* year;
    const char* species;
    const char* stands;
    const char* allSpecies;
    const char* rejectedRows;
    const char* noRejected;
    const char* line;
    const char* stand;
    const char* column;
    const char* reason;
    const char* moreRejected;  // followed by the count
    const char* methods;
    const char* methodsText[5];
    std::string_view speciesNames[4];
    const char* unitHectares;
    const char* unitCubicMetres;
    const char* unitTonnes;
    const char* unitTonnesCarbon;
    const char* unitTonnesCo2e;
    const char* unitPerYear;
    const char* unitPerHectareYear;
    const char* unitYears;
};

constexpr Words english = {
    "en",
    "Estate report",
    "Inventory",
    "Run (UTC)",
    "Program version",
    "Years from each stand's age",
    "Stands accepted",
    "Rows rejected",
    "Total area",
    "Key figures",
    "year",
    "Carbon stock",
    "Carbon dioxide equivalent",
    "Standing volume",
    "Biomass",
    "Mean yearly CO2e uptake",
    "Mean yearly CO2e uptake per hectare",
    "The uptake needs at least two years in the list.",
    "Charts",
    "Carbon stock by species",
    "Standing volume by species",
    "CO2e uptake in each period",
    "Area by species and age class at year 0",
    "Stacked area chart of the carbon stock (t C) of each species over the years of the list",
    "Stacked area chart of the standing volume (m3) of each species over the years of the list",
    "Bar chart of the mean yearly CO2e uptake (t CO2e per year) of the whole inventory in each "
    "period between two years of the list",
    "Stacked bar chart of the area (ha) of each species in each 10-year age class at year 0",
    "Year",
    "Period (years)",
    "Age class (years)",
    "Totals by year and species",
    "Year",
    "Species",
    "Stands",
    "All species",
    "Rejected rows",
    "No row was rejected.",
    "Line",
    "Stand",
    "Column",
    "Reason",
    "More rows were rejected, not listed here:",
    "Methods",
    {"Each stand is projected from its own age by keeping, for its mean diameter, mean height, "
     "tree count and volume, the ratio to the normal (fully stocked) stand of its species that "
     "it has at that age; year 0 is the stand as measured.",
     "Biomass is computed by tree component (stem, bark, branch, foliage and root) from the "
     "mean diameter, the mean height and the number of trees, with equations of each species; "
     "the stand's biomass is the sum of the components.",
     "Each component's carbon is its biomass times the component's carbon fraction (0.4995 "
     "stem, 0.4925 bark, 0.508 branch, 0.5145 foliage, 0.4425 root); the carbon dioxide "
     "equivalent is CO2e = C × 44/12.",
     "Totals are the per-hectare values of each stand times its area, summed over the stands.",
     "The figures cover living trees only: they include no soil carbon, no dead wood and no "
     "harvest or other removals."},
    {"Pinus tabulaeformis", "Pinus armandii", "Larix principis-ruprechtii", "Quercus aliena"},
    "ha",
    "m3",
    "t",
    "t C",
    "t CO2e",
    "t CO2e per year",
    "t CO2e per ha and year",
    "years",
};

constexpr Words chinese = {
    "zh",
    "森林资源报告",
    "资源清单",
    "运行时间（UTC）",
    "程序版本",
    "自各小班林龄起的年数",
    "采用的小班",
    "拒收的行",
    "总面积",
    "主要指标",
    "第",
    "碳储量",
    "二氧化碳当量",
    "蓄积量",
    "生物量",
    "年均二氧化碳当量吸收量",
    "每公顷年均二氧化碳当量吸收量",
    "吸收量需要年数列表中至少两个年份。",
    "图表",
    "各树种碳储量",
    "各树种蓄积量",
    "各时段二氧化碳当量吸收量",
    "第 0 年各树种各龄级面积",
    "堆积面积图：各树种在列表各年份的碳储量（吨碳）",
    "堆积面积图：各树种在列表各年份的蓄积量（立方米）",
    "柱状图：列表相邻两个年份之间各时段全部小班的年均二氧化碳当量吸收量（吨二氧化碳当量/年）",
    "堆积柱状图：第 0 年各树种在各 10 年龄级的面积（公顷）",
    "年",
    "时段（年）",
    "龄级（年）",
    "按年份和树种的合计",
    "年",
    "树种",
    "小班数",
    "全部树种",
    "拒收的行",
    "没有拒收的行。",
    "行",
    "小班",
    "列",
    "原因",
    "另有未列出的拒收行：",
    "方法",
    {"各小班从其自身林龄起推算：平均胸径、平均树高、株数和蓄积量保持其在该林龄时与同树种"
     "标准林分（正常林分）的比值；第 0 年为实测林分。",
     "生物量按器官（干、皮、枝、叶、根）由平均胸径、平均树高和株数以各树种的方程计算；林分"
     "生物量为各器官之和。",
     "各器官碳储量为其生物量乘以含碳率（干 0.4995、皮 0.4925、枝 0.508、叶 0.5145、根 "
     "0.4425）；二氧化碳当量 CO2e = C × 44/12。",
     "合计为各小班每公顷数值乘以其面积后的总和。",
     "数字只包括活立木：不含土壤碳、枯死木，也不计采伐或其他移出。"},
    {"油松", "华山松", "华北落叶松", "槲栎"},
    "公顷",
    "立方米",
    "吨",
    "吨碳",
    "吨二氧化碳当量",
    "吨二氧化碳当量/年",
    "吨二氧化碳当量/（公顷·年）",
    "年",
};

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A number for reading: rounded to the given decimals, thousands grouped.
std::string shown(double value, int decimals) {
    if (!std::isfinite(value)) return "–";
    const std::string field = editFixed(value, 40, decimals);
    std::string text = field.substr(field.find_first_not_of(' '));
    if (decimals == 0) text.pop_back();  // the point of "Fw.0"
    const std::size_t digitsStart = text.front() == '-' ? 1 : 0;
    std::size_t point = text.find('.');
    if (point == std::string::npos) point = text.size();
    for (std::size_t i = point; i > digitsStart + 3; i -= 3) {
        text.insert(i - 3, ",");
    }
    return text;
}

// A JSON number: the shortest text that reads back to the same double; null for a
// value that is not finite, which JSON cannot hold.
void appendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    appendShortest(out, value);
}

std::string ageClassJson(const EstateReportData& data) {
    std::string json = "[";
    for (const auto& [key, area] : data.areaByAgeClass) {
        if (json.size() > 1) json += ',';
        json += "{\"species\":" + std::to_string(key.first) +
                ",\"ageClass\":" + std::to_string(key.second) + ",\"area\":";
        appendJsonNumber(json, area);
        json += '}';
    }
    return json + "]";
}

std::string chartTextJson(const Words& w) {
    const auto quoted = [](std::string_view text) { return "\"" + std::string(text) + "\""; };
    std::string json = "{\"species\":{";
    for (int s = 0; s < 4; ++s) {
        json += (s ? "," : "") + quoted(std::to_string(s + 1)) + ":" + quoted(w.speciesNames[s]);
    }
    json += "},\"yearAxis\":" + quoted(w.yearAxis) + ",\"periodAxis\":" + quoted(w.periodAxis) +
            ",\"ageClassAxis\":" + quoted(w.ageClassAxis) +
            ",\"carbonUnit\":" + quoted(w.unitTonnesCarbon) +
            ",\"volumeUnit\":" + quoted(w.unitCubicMetres) +
            ",\"uptakeUnit\":" + quoted(w.unitPerYear) + ",\"areaUnit\":" + quoted(w.unitHectares) +
            ",\"uptake\":" + quoted(w.uptake) + "}";
    return json;
}

constexpr std::string_view styles = R"(
:root { --ink: #1b2a1e; --muted: #5a6b5d; --rule: #cfd8d0; --band: #f2f6f2; }
* { box-sizing: border-box; }
body { font-family: "Noto Sans", "DejaVu Sans", "Segoe UI", sans-serif; color: var(--ink);
       margin: 0 auto; padding: 1.5rem; max-width: 62rem; line-height: 1.45; }
h1 { font-size: 1.8rem; margin: 0 0 .5rem; color: #1f4d2b; }
h2 { font-size: 1.3rem; margin: 2rem 0 .75rem; border-bottom: 2px solid var(--rule);
     padding-bottom: .25rem; color: #1f4d2b; }
h3 { font-size: 1rem; margin: 0 0 .5rem; }
dl.run { display: grid; grid-template-columns: max-content 1fr; gap: .2rem 1.25rem; margin: 0; }
dl.run dt { color: var(--muted); }
dl.run dd { margin: 0; }
.cards { display: grid; grid-template-columns: repeat(auto-fit, minmax(14rem, 1fr)); gap: .75rem; }
.card { border: 1px solid var(--rule); border-radius: .4rem; padding: .6rem .8rem;
        background: var(--band); }
.card .label { color: var(--muted); font-size: .85rem; }
.card .value { font-size: 1.35rem; font-weight: 600; }
.card .unit { font-size: .85rem; color: var(--muted); }
.charts { display: grid; grid-template-columns: repeat(auto-fit, minmax(28rem, 1fr)); gap: 1rem; }
figure { margin: 0; border: 1px solid var(--rule); border-radius: .4rem; padding: .6rem; }
figcaption { font-size: .85rem; color: var(--muted); margin-top: .4rem; }
.chart { position: relative; height: 18rem; }
table { border-collapse: collapse; width: 100%; font-size: .9rem; }
th, td { padding: .25rem .5rem; border-bottom: 1px solid var(--rule); }
th { text-align: left; background: var(--band); }
td.number, th.number { text-align: right; font-variant-numeric: tabular-nums; }
tr.all td { font-weight: 600; }
p.note { color: var(--muted); }
@media print {
  @page { size: A4; margin: 14mm; }
  body { max-width: none; padding: 0; font-size: 10pt; }
  h2 { break-after: avoid; }
  .charts { display: block; }
  figure { break-inside: avoid; page-break-inside: avoid; margin-bottom: 6mm; }
  .chart { height: 85mm; width: 100%; }
  tr, .card, dl.run { break-inside: avoid; page-break-inside: avoid; }
  thead { display: table-header-group; }
}
)";

// Draws the charts from the JSON blocks of the page.
constexpr std::string_view chartScript = R"(
(function () {
  "use strict";
  function data(id) { return JSON.parse(document.getElementById(id).textContent); }
  var rows = data("summary-data"), ageClasses = data("age-class-data"), text = data("chart-text");
  var colours = { 1: "#2e7d32", 2: "#00838f", 3: "#ef6c00", 4: "#6d4c41" };
  var years = [];
  rows.forEach(function (r) { if (years.indexOf(r.year) < 0) years.push(r.year); });
  var species = [1, 2, 3, 4].filter(function (s) {
    return rows.some(function (r) { return r.species === s; });
  });
  function row(year, s) {
    return rows.find(function (r) { return r.year === year && r.species === s; });
  }
  Chart.defaults.animation = false;
  Chart.defaults.maintainAspectRatio = false;
  Chart.defaults.plugins.legend.position = "bottom";
  function axis(title, stacked) {
    return { stacked: stacked, title: { display: true, text: title } };
  }
  function draw(id, config) {
    var canvas = document.getElementById(id);
    if (canvas) new Chart(canvas, config);
  }
  function stackedOverYears(field, unit) {
    return {
      type: "line",
      data: {
        labels: years,
        datasets: species.map(function (s) {
          return {
            label: text.species[s],
            data: years.map(function (y) { var r = row(y, s); return r ? r[field] : 0; }),
            fill: true, borderColor: colours[s], backgroundColor: colours[s] + "99",
            pointRadius: years.length === 1 ? 4 : 2
          };
        })
      },
      options: { scales: { x: axis(text.yearAxis, false),
                           y: Object.assign(axis(unit, true), { beginAtZero: true }) } }
    };
  }
  draw("carbon-chart", stackedOverYears("carbon", text.carbonUnit));
  draw("volume-chart", stackedOverYears("volume", text.volumeUnit));

  var totals = years.map(function (y) { return row(y, null); });
  var periods = totals.slice(1).map(function (r, i) {
    var before = totals[i];
    return { label: before.year + "–" + r.year, value: (r.co2e - before.co2e) / (r.year - before.year) };
  });
  draw("uptake-chart", {
    type: "bar",
    data: { labels: periods.map(function (p) { return p.label; }),
            datasets: [{ label: text.uptake, backgroundColor: "#1565c0",
                         data: periods.map(function (p) { return p.value; }) }] },
    options: { scales: { x: axis(text.periodAxis, false), y: axis(text.uptakeUnit, false) } }
  });

  var classes = [];
  ageClasses.forEach(function (a) { if (classes.indexOf(a.ageClass) < 0) classes.push(a.ageClass); });
  classes.sort(function (a, b) { return a - b; });
  var classSpecies = [1, 2, 3, 4].filter(function (s) {
    return ageClasses.some(function (a) { return a.species === s; });
  });
  draw("age-class-chart", {
    type: "bar",
    data: {
      labels: classes.map(function (c) { return (10 * c + 1) + "–" + (10 * c + 10); }),
      datasets: classSpecies.map(function (s) {
        return { label: text.species[s], backgroundColor: colours[s],
                 data: classes.map(function (c) {
                   var a = ageClasses.find(function (a) { return a.species === s && a.ageClass === c; });
                   return a ? a.area : 0;
                 }) };
      })
    },
    options: { scales: { x: axis(text.ageClassAxis, true),
                         y: Object.assign(axis(text.areaUnit, true), { beginAtZero: true }) } }
  });
})();
)";

// Script text inlined in the page must not end its element early.
std::string inlineScript(std::string_view script) {
    std::string out(script);
    for (std::size_t at = out.find("</"); at != std::string::npos; at = out.find("</", at + 3)) {
        out.replace(at, 2, "<\\/");
    }
    return out;
}

const SummaryRow* findRow(const std::vector<SummaryRow>& rows, std::int32_t year,
                          std::optional<std::int32_t> species) {
    for (const SummaryRow& row : rows) {
        if (row.year == year && row.species == species) return &row;
    }
    return nullptr;
}

}  // namespace

std::string summaryJson(const std::vector<SummaryRow>& summary) {
    std::string json = "[";
    for (const SummaryRow& r : summary) {
        if (json.size() > 1) json += ',';
        json += "{\"year\":" + std::to_string(r.year) +
                ",\"species\":" + (r.species ? std::to_string(*r.species) : "null") +
                ",\"stands\":" + std::to_string(r.stands);
        for (const auto& [name, value] :
             {std::pair{"area", r.area}, std::pair{"volume", r.volume},
              std::pair{"biomass", r.biomass}, std::pair{"carbon", r.carbon},
              std::pair{"co2e", r.co2e}}) {
            json += ",\"" + std::string(name) + "\":";
            appendJsonNumber(json, value);
        }
        json += '}';
    }
    return json + "]";
}

std::string estateReportHtml(const EstateReportData& data, ReportLanguage language,
                             std::string_view chartJs) {
    const Words& w = language == ReportLanguage::chinese ? chinese : english;
    const auto speciesText = [&](std::optional<std::int32_t> species) {
        return species ? std::string(w.speciesNames[*species - 1]) : std::string(w.allSpecies);
    };
    const auto atYear = [&](std::int32_t year) {
        return language == ReportLanguage::chinese
                   ? std::string(w.atYear) + " " + std::to_string(year) + " 年"
                   : std::string(w.atYear) + " " + std::to_string(year);
    };

    std::string h;
    h.reserve(chartJs.size() + 64 * 1024);
    h += "<!DOCTYPE html>\n<html lang=\"" + std::string(w.lang) + "\">\n<head>\n";
    h += "<meta charset=\"utf-8\">\n";
    // The page is complete in itself: it may load nothing at all.
    h += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src data:\">\n";
    h += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    h += "<meta name=\"generator\" content=\"ARBORA " + escaped(data.version) + "\">\n";
    h += "<title>" + std::string(w.title) + " – " + escaped(data.input) + "</title>\n";
    h += "<style>" + std::string(styles) + "</style>\n</head>\n<body>\n";

    // Header
    h += "<header>\n<h1>" + std::string(w.title) + "</h1>\n<dl class=\"run\">\n";
    const auto item = [&](const char* term, const std::string& value) {
        h += "<dt>" + std::string(term) + "</dt><dd>" + value + "</dd>\n";
    };
    item(w.input, escaped(data.input));
    item(w.run, escaped(data.startedUtc));
    item(w.version, "ARBORA " + escaped(data.version));
    item(w.years, escaped(yearsText(data.years)));
    item(w.accepted, shown(static_cast<double>(data.accepted), 0));
    item(w.rejected, shown(static_cast<double>(data.rejected), 0));
    item(w.area, shown(data.area, 1) + " " + w.unitHectares);
    h += "</dl>\n</header>\n<main>\n";

    // Key figures
    h += "<section>\n<h2>" + std::string(w.keyFigures) + "</h2>\n<div class=\"cards\">\n";
    const auto card = [&](const std::string& label, const std::string& value, const char* unit) {
        h += "<div class=\"card\"><div class=\"label\">" + label + "</div><div class=\"value\">" +
             value + " <span class=\"unit\">" + unit + "</span></div></div>\n";
    };
    if (!data.years.empty()) {
        const std::int32_t first = data.years.front();
        const std::int32_t last = data.years.back();
        const SummaryRow* begin = findRow(data.summary, first, std::nullopt);
        const SummaryRow* end = findRow(data.summary, last, std::nullopt);
        if (begin != nullptr && end != nullptr) {
            std::vector<const SummaryRow*> shownYears = {begin};
            if (end != begin) shownYears.push_back(end);
            for (const SummaryRow* r : shownYears) {
                card(std::string(w.carbon) + ", " + atYear(r->year), shown(r->carbon, 1),
                     w.unitTonnesCarbon);
                card(std::string(w.co2e) + ", " + atYear(r->year), shown(r->co2e, 1),
                     w.unitTonnesCo2e);
                card(std::string(w.volume) + ", " + atYear(r->year), shown(r->volume, 1),
                     w.unitCubicMetres);
            }
            if (last > first) {
                const double uptake = (end->co2e - begin->co2e) / (last - first);
                card(w.uptake, shown(uptake, 1), w.unitPerYear);
                card(w.uptakePerHectare, shown(uptake / data.area, 2), w.unitPerHectareYear);
            }
        }
    }
    h += "</div>\n";
    if (data.years.size() < 2)
        h += "<p class=\"note\">" + std::string(w.uptakeNeedsTwoYears) + "</p>\n";
    h += "</section>\n";

    // Charts, each with a text alternative naming what it shows
    h += "<section>\n<h2>" + std::string(w.charts) + "</h2>\n<div class=\"charts\">\n";
    const auto figure = [&](const char* id, const char* title, const char* alternative) {
        h += "<figure>\n<h3>" + std::string(title) + "</h3>\n<div class=\"chart\"><canvas id=\"" +
             id + "\" role=\"img\" aria-label=\"" + alternative + "\"><p>" + alternative +
             "</p></canvas></div>\n<figcaption>" + alternative + "</figcaption>\n</figure>\n";
    };
    figure("carbon-chart", w.carbonChart, w.carbonChartText);
    figure("volume-chart", w.volumeChart, w.volumeChartText);
    if (data.years.size() >= 2) {
        figure("uptake-chart", w.uptakeChart, w.uptakeChartText);
    } else {
        h += "<figure>\n<h3>" + std::string(w.uptakeChart) + "</h3>\n<p class=\"note\">" +
             w.uptakeNeedsTwoYears + "</p>\n</figure>\n";
    }
    figure("age-class-chart", w.ageClassChart, w.ageClassChartText);
    h += "</div>\n</section>\n";

    // The totals, as the summary table holds them
    h += "<section>\n<h2>" + std::string(w.summary) + "</h2>\n<table>\n<thead><tr>";
    h += "<th scope=\"col\" class=\"number\">" + std::string(w.year) + "</th>";
    h += "<th scope=\"col\">" + std::string(w.species) + "</th>";
    h += "<th scope=\"col\" class=\"number\">" + std::string(w.stands) + "</th>";
    for (const auto& [label, unit] :
         {std::pair{w.area, w.unitHectares}, std::pair{w.volume, w.unitCubicMetres},
          std::pair{w.biomass, w.unitTonnes}, std::pair{w.carbon, w.unitTonnesCarbon},
          std::pair{w.co2e, w.unitTonnesCo2e}}) {
        h += "<th scope=\"col\" class=\"number\">" + std::string(label) + " (" + unit + ")</th>";
    }
    h += "</tr></thead>\n<tbody>\n";
    for (const SummaryRow& r : data.summary) {
        h += r.species ? "<tr>" : "<tr class=\"all\">";
        h += "<td class=\"number\">" + std::to_string(r.year) + "</td><td>" +
             speciesText(r.species) + "</td><td class=\"number\">" +
             shown(static_cast<double>(r.stands), 0) + "</td>";
        for (const double value : {r.area, r.volume, r.biomass, r.carbon, r.co2e}) {
            h += "<td class=\"number\">" + shown(value, 1) + "</td>";
        }
        h += "</tr>\n";
    }
    h += "</tbody>\n</table>\n</section>\n";

    // Rejected rows
    h += "<section>\n<h2>" + std::string(w.rejectedRows) + "</h2>\n";
    if (data.firstRejections.empty()) {
        h += "<p>" + std::string(w.noRejected) + "</p>\n";
    } else {
        h += "<table>\n<thead><tr><th scope=\"col\" class=\"number\">" + std::string(w.line) +
             "</th><th scope=\"col\">" + w.stand + "</th><th scope=\"col\">" + w.column +
             "</th><th scope=\"col\">" + w.reason + "</th></tr></thead>\n<tbody>\n";
        for (const Rejection& r : data.firstRejections) {
            h += "<tr><td class=\"number\">" + std::to_string(r.line) + "</td><td>" +
                 escaped(r.standId) + "</td><td>" + escaped(r.column) + "</td><td>" +
                 escaped(r.reason) + "</td></tr>\n";
        }
        h += "</tbody>\n</table>\n";
        const auto unlisted =
            data.rejected - static_cast<std::int64_t>(data.firstRejections.size());
        if (unlisted > 0) {
            h += "<p class=\"note\">" + std::string(w.moreRejected) + " " +
                 shown(static_cast<double>(unlisted), 0) + "</p>\n";
        }
    }
    h += "</section>\n";

    // Methods
    h += "<section>\n<h2>" + std::string(w.methods) + "</h2>\n";
    for (const char* paragraph : w.methodsText)
        h += "<p>" + std::string(paragraph) + "</p>\n";
    h += "</section>\n</main>\n";

    // The data the charts draw, once, and the charts
    h += "<script type=\"application/json\" id=\"summary-data\">" + summaryJson(data.summary) +
         "</script>\n";
    h += "<script type=\"application/json\" id=\"age-class-data\">" + ageClassJson(data) +
         "</script>\n";
    h += "<script type=\"application/json\" id=\"chart-text\">" + inlineScript(chartTextJson(w)) +
         "</script>\n";
    h += "<script>" + inlineScript(chartJs) + "</script>\n";
    h += "<script>" + std::string(chartScript) + "</script>\n";
    h += "</body>\n</html>\n";
    return h;
}

}  // namespace arbora
