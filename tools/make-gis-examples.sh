#!/usr/bin/env bash
# Builds the GIS examples from examples/stands.csv with GDAL's ogr2ogr (Debian package
# gdal-bin):
#   examples/stands.gpkg   GeoPackage, layer "stands", the English column names, no area
#                          column (the areas come from the polygons)
#   examples/xiaoban.shp   shapefile (.shp .shx .dbf .prj .cpg) as sub-compartment surveys
#                          deliver it: pinyin field names, the species in Chinese, the
#                          .dbf text in GBK (code page 936 in the .cpg), areas in mu
# The polygons are SYNTHETIC: each compartment is a strip 500 m deep, its stands
# rectangles side by side, each exactly as large as the stand's area, in CGCS2000 /
# 3-degree Gauss-Kruger CM 114E (EPSG:4547). Their corners are whole metres, so the
# polygon areas are exact and equal the area column to the last bit.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One row per stand with its polygon as WKT; rings run clockwise, as shapefiles store them.
awk -F, -v OFS=, '
  NR == 1 { print "stand_id,species,site_class,stand_age,average_diameter,average_height," \
                  "stand_density,stand_volume,area,chinese,mu,WKT"; next }
  {
    compartment = substr($1, 1, 3)
    if (compartment != last) { x = 452000; row++; last = compartment }
    y = 4420000 - row * 500
    width = $9 * 20   # metres: area (ha) * 10000 / 500 m depth, a whole number here
    if ($2 == "1" || $2 == "Pinus tabulaeformis") chinese = "油松"
    else if ($2 == "2" || $2 == "Pinus armandii") chinese = "华山松"
    else if ($2 == "3" || $2 == "Larix principis-ruprechtii") chinese = "华北落叶松"
    else chinese = "槲栎"
    ring = sprintf("%d %d,%d %d,%d %d,%d %d,%d %d", x, y, x, y + 500, x + width, y + 500,
                   x + width, y, x, y)
    print $0, chinese, sprintf("%.1f", $9 * 15), "\"POLYGON((" ring "))\""
    x += width
  }' examples/stands.csv > "$work/stands.csv"
echo "String,String,Integer,Integer,Real,Real,Integer,Real,Real,String,Real,WKT" \
  > "$work/stands.csvt"

from_csv=(-oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:4547 -nlt POLYGON)

rm -f examples/stands.gpkg
ogr2ogr -f GPKG "${from_csv[@]}" -nln stands -lco GEOMETRY_NAME=geom \
  -sql "SELECT stand_id, species, site_class, stand_age, average_diameter, average_height,
               stand_density, stand_volume FROM stands" \
  examples/stands.gpkg "$work/stands.csv"

rm -f examples/xiaoban.{shp,shx,dbf,prj,cpg}
# The .csvt widths give the .dbf one decimal, as the survey writes them.
echo "String(10),String(20),Integer(4),Real(6.1),Real(6.1),Integer(6),Real(8.1),Real(8.1),WKT" \
  > "$work/xiaoban.csvt"
awk -F, -v OFS=, '
  NR == 1 { print "XIAO_BAN,YOU_SHI_SZ,PINGJUN_NL,PINGJUN_XJ,PINGJUN_SG,MEI_GQ_ZS," \
                  "MEI_GQ_XJ,MIAN_JI,WKT"; next }
  { wkt = $12; for (i = 13; i <= NF; ++i) wkt = wkt "," $i
    print $1, $10, $4, $5, $6, $7, $8, $11, wkt }' "$work/stands.csv" > "$work/xiaoban.csv"
ogr2ogr -f "ESRI Shapefile" "${from_csv[@]}" -lco ENCODING=CP936 -nln xiaoban \
  examples/xiaoban.shp "$work/xiaoban.csv"

echo "wrote examples/stands.gpkg and examples/xiaoban.{shp,shx,dbf,prj,cpg}"
