# Every font and size the game draws text in (FAMILY:SIZE): the browser's build draws from
# glyph tables of these, made by the desktop's tinokvak-glyphs, and tests_glyphs holds the
# tables to the desktop renderer's pixels in each. The menus, help pages and HUD use the
# display font at these sizes; the goodbye page's countdown is in Verdana.
set(TK_GLYPH_STYLES
    "Festival Nights JL:7" "Festival Nights JL:10" "Festival Nights JL:12"
    "Festival Nights JL:14" "Festival Nights JL:16" "Festival Nights JL:20"
    "Festival Nights JL:21" "Verdana:18")
