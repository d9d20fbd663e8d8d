#pragma once

namespace ort {

// A text of the language file: entry n of group g, read in the language in use with
// Ajustes::texto. The file's wording belongs to the plant; ORT only knows where each text is.
struct TextoIdioma {
    int grupo;
    int entrada;
};

// The language file's texts ORT shows, by what they are.
namespace Textos {
// clang-format off
inline constexpr TextoIdioma PreguntaClave      {0, 81};  // prompt for the database password
inline constexpr TextoIdioma EventoDesconocido  {0, 66};  // before the number of an unknown line event
inline constexpr TextoIdioma BotonAceptar       {2, 0};   // the OK button
inline constexpr TextoIdioma BotonExaminar      {2, 11};  // the browse button
inline constexpr TextoIdioma NotaProveedor      {4, 13};  // added to a provider library failure
inline constexpr TextoIdioma PuertoCaption      {43, 1};  // "Puerto ", before a port's number
inline constexpr TextoIdioma BotonAbrir         {43, 2};  // open button of a closed port
inline constexpr TextoIdioma BotonCerrar        {43, 3};  // open button of an open port
inline constexpr TextoIdioma BotonConfigurar    {43, 4};  // the configure button
inline constexpr TextoIdioma Leidas             {43, 5};  // after the count of readings received
inline constexpr TextoIdioma Grabadas           {43, 6};  // after the count of readings written
inline constexpr TextoIdioma CabeceraLog        {43, 7};  // heading of the ports' log
inline constexpr TextoIdioma NoExisteDestino    {43, 9};  // a data file or folder that is missing
inline constexpr TextoIdioma NoExisteBase       {43, 10}; // a data database that cannot be opened
inline constexpr TextoIdioma TituloUbicacion    {43, 13}; // title of the configuration location window
inline constexpr TextoIdioma NoEsConfiguracion  {43, 14}; // a file that is no configuration database
// clang-format on
// Captions of the connection list's columns: entry k for the k-th column (1..14).
inline constexpr int GrupoColumnasConexion = 61;
} // namespace Textos

} // namespace ort
