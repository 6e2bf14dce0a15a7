// Per-pixel Phong shading with the scene's lights: the ambient and diffuse
// colours of each light scale the object colour, and a white highlight is
// added. The second light only counts when the scene has it switched on
// (uniform "light_count"; a program without the value set uses one light).
// Back faces are lit as front faces with the normal turned round, as the
// fixed-function two-sided lighting does.
#version 120

uniform int light_count;

varying vec3 eye_normal;
varying vec3 eye_position;
varying vec4 base_colour;

vec3 light_term(int i, vec3 n, vec3 v) {
  vec4 position = gl_LightSource[i].position;
  vec3 l = position.w == 0.0 ? normalize(position.xyz)
                             : normalize(position.xyz - eye_position);
  float diffuse = max(dot(n, l), 0.0);
  vec3 colour = gl_LightSource[i].ambient.rgb * base_colour.rgb +
                gl_LightSource[i].diffuse.rgb * base_colour.rgb * diffuse;
  if (diffuse > 0.0) {
    vec3 h = normalize(l + v);
    colour += 0.35 * gl_LightSource[i].diffuse.rgb * pow(max(dot(n, h), 0.0), 48.0);
  }
  return colour;
}

void main() {
  vec3 n = normalize(eye_normal);
  if (!gl_FrontFacing) n = -n;
  vec3 v = normalize(-eye_position);
  vec3 colour = light_term(0, n, v);
  if (light_count > 1) colour += light_term(1, n, v);
  gl_FragColor = vec4(min(colour, vec3(1.0)), base_colour.a);
}
