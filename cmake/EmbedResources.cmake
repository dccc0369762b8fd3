# Writes a C++ file that embeds each given file with the assembler's .incbin, and a table that
# FindEmbeddedResource (src/widgets/resources.h) searches by name.
function(kestrow_embed_resources output)
  set(body "// Generated at build time from assets/; do not edit.\n#include \"widgets/resources.h\"\n\n")
  set(table "")
  set(index 0)
  foreach(path IN LISTS ARGN)
    get_filename_component(name ${path} NAME_WE)
    string(APPEND body
      "extern \"C\" const unsigned char kestrow_res_${index}[];\n"
      "extern \"C\" const unsigned char kestrow_res_${index}_end[];\n"
      "asm(\".section .rodata\\n.global kestrow_res_${index}\\n.global kestrow_res_${index}_end\\n"
      "kestrow_res_${index}:\\n.incbin \\\"${path}\\\"\\nkestrow_res_${index}_end:\\n.byte 0\\n.previous\\n\");\n")
    string(APPEND table "    {\"${name}\", kestrow_res_${index}, kestrow_res_${index}_end},\n")
    math(EXPR index "${index} + 1")
  endforeach()
  string(APPEND body "\nconst EmbeddedResourceEntry kEmbeddedResources[] = {\n${table}    {nullptr, nullptr, nullptr}};\n")
  file(GENERATE OUTPUT ${output} CONTENT "${body}")
  set_property(SOURCE ${output} APPEND PROPERTY OBJECT_DEPENDS ${ARGN})
endfunction()
